-- Shared by the Lua tests (support.table_with_length) and the test hosts.
-- A table of a few dozen keys whose length (the border lua_objlen finds)
-- is n: the keys on the doubling path 1, 2, 4, ... and on the binary search
-- path that the length operator takes. String keys come first so that the
-- hash part has room and no rehash moves the integer keys to an array part.
-- With `head`, its elements are keys 1 to #head, in the array part, and the
-- path starts after them (the search of Lua 5.1 and LuaJIT); whether the
-- interpreter finds that border is then for the caller to check.
return function(n, head)
  local unpack = table.unpack or unpack
  local t = head and { unpack(head) } or {}
  for i = 1, 150 do t["pad" .. i] = true end
  local i, j = #t, #t + 1
  while j <= n do t[j] = 1; i = j; j = j * 2 end
  while j - i > 1 do
    local m = math.floor((i + j) / 2)
    if m <= n then t[m] = 1; i = m else j = m end
  end
  assert(head or #t == n, "length operator does not report " .. n)
  return t
end
