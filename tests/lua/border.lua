-- Shared by the Lua tests (support.table_with_length) and the test hosts.
-- A table of a few dozen keys whose length (the border lua_objlen finds)
-- is n: the keys on the doubling path 1, 2, 4, ... and on the binary search
-- path that the length operator takes. String keys come first so that the
-- hash part has room and no rehash moves the integer keys to an array part.
-- With `head`, its elements are keys 1 to #head, in the array part, and the
-- path starts after them (the search of Lua 5.1 and LuaJIT); whether the
-- interpreter finds that border is then for the caller to check.
--
-- Lua 5.5 doubles to 2j or 2j + 1, by the next bit of the state's random
-- seed. Those bits are learnt once per state, from small tables whose
-- length tells which way each doubling went.
local unpack = table.unpack or unpack

local function build(n, head, bits)
  local t = head and { unpack(head) } or {}
  for i = 1, 150 do t["pad" .. i] = true end
  local i, j, k = #t, #t + 1, 0
  while j <= n do
    t[j] = 1
    i, k = j, k + 1
    j = j * 2 + (i > 1 and bits[k - 1] or 0)
  end
  while j - i > 1 do
    local m = math.floor((i + j) / 2)
    if m <= n then t[m] = 1; i = m else j = m end
  end
  return t
end

local straight = setmetatable({}, { __index = function() return 0 end })
local bits
if _VERSION == "Lua 5.5" then
  -- Bit k is 0 when the table with the path so far and 2j on it has length 2j.
  bits = {}
  for k = 1, 31 do
    local j = 2
    for m = 1, k - 1 do j = j * 2 + bits[m] end
    bits[k] = #build(2 * j, nil, setmetatable({ [k] = 0 }, { __index = bits })) == 2 * j and 0 or 1
  end
end

return function(n, head)
  local t = build(n, head, bits and not head and bits or straight)
  assert(head or #t == n, "length operator does not report " .. n)
  return t
end
