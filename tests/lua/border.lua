-- Shared by the Lua tests (support.table_with_length) and the test hosts.
-- A table of a few dozen keys whose length (the border lua_objlen finds)
-- is n: the keys on the doubling path that the length operator takes from
-- the end of the array part, and on its binary search after. String keys
-- come first so that the hash part has room and no rehash moves the integer
-- keys to an array part. With `head`, its elements are keys 1 to #head, in
-- the array part, and the path starts after them; whether the interpreter
-- finds that border is then for the caller to check.
--
-- Lua 5.1 to 5.4 and LuaJIT double: 1, 2, 4, ... (a + 1, 2 (a + 1), ...
-- after an array part of a). Lua 5.5 steps from a + 1 by 1 plus the low
-- ceil(log2 a) bits of the state's random seed, then doubles to 2j or
-- 2j + 1 by its next bits. Those bits are learnt once per state, from small
-- tables whose length tells which way each doubling went.
local unpack = table.unpack or unpack

-- step(j, k): the path's index after j, at its k-th step.
local function build(n, head, step)
  local t = head and { unpack(head) } or {}
  for i = 1, 150 do t["pad" .. i] = true end
  local i, j, k = #t, #t + 1, 0
  while j <= n do
    t[j] = 1
    i, k = j, k + 1
    j = step(j, k)
  end
  while j - i > 1 do
    local m = math.floor((i + j) / 2)
    if m <= n then t[m] = 1; i = m else j = m end
  end
  return t
end

local function doubling(j)
  return j * 2
end

local seed -- Lua 5.5: seed[b] is bit b of the state's seed, b = 0 to 30

-- Lua 5.5's path after an array part of `asize` elements.
local function seeded(asize)
  local low = 0
  while 2 ^ low < asize do low = low + 1 end
  local incr = 1
  for b = 0, low - 1 do incr = incr + seed[b] * 2 ^ b end
  return function(j, k)
    if k == 1 then return j + incr end
    return j * 2 + seed[low + k - 2]
  end
end

if _VERSION == "Lua 5.5" then
  -- Bit b is 0 when the path so far, and 2j after it, has length 2j.
  seed = {}
  for b = 0, 30 do
    local j = 2
    for c = 0, b - 1 do j = j * 2 + seed[c] end
    local guess = setmetatable({ [b] = 0 }, { __index = function() return 0 end })
    for c = 0, b - 1 do guess[c] = seed[c] end
    seed[b] = #build(2 * j, nil, function(x, k) return k == 1 and x + 1 or x * 2 + guess[k - 2] end) == 2 * j
      and 0 or 1
  end
end

return function(n, head)
  local t = build(n, head, seed and seeded(head and #head or 0) or doubling)
  assert(head or #t == n, "length operator does not report " .. n)
  return t
end
