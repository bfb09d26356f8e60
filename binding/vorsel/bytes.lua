-- vorsel.bytes: strings to byte tables and back, for vorsel.encrypt and
-- vorsel.decrypt. Plain Lua for Lua 5.1 to 5.4 and LuaJIT. It never puts
-- more than a few thousand values on the Lua stack at once: the one-call
-- idioms { s:byte(1, -1) } and string.char(unpack(t)) fail at about 8000
-- bytes on Lua 5.1 and LuaJIT.
--
--   local bytes = require "vorsel.bytes"
--   local sealed = vorsel.encrypt(bytes.from_string(text), key)
--   local text = bytes.to_string(vorsel.decrypt(sealed, key))
local byte, char, concat = string.byte, string.char, table.concat
local type, tostring, error, format = type, tostring, error, string.format
local unpack = table.unpack or unpack

-- LuaJIT's table.new makes the result at its full size; elsewhere it grows.
local new_table = function() return {} end
do
  local ok, new = pcall(require, "table.new")
  if ok then new_table = function(n) return new(n, 0) end end
end

-- Elements that go through one string.char.
local CHUNK = 4096

local bytes = {}

-- Positions i to j of a sequence of n, by string.sub's rules.
local function span(n, i, j)
  i, j = i or 1, j or -1
  if i < 0 then i = n + i + 1 end
  if j < 0 then j = n + j + 1 end
  if i < 1 then i = 1 end
  if j > n then j = n end
  return i, j
end

--- The bytes of s from i to j (string.sub's rules; all of s by default) as
--- a new byte table.
function bytes.from_string(s, i, j)
  if type(s) ~= "string" then
    error(format("vorsel.bytes.from_string: a string expected, got %s", type(s)), 2)
  end
  i, j = span(#s, i, j)
  local t = new_table(j >= i and j - i + 1 or 0)
  local k = 0
  -- Sixteen bytes a call, written straight into the table.
  for p = i, j - 15, 16 do
    t[k + 1], t[k + 2], t[k + 3], t[k + 4], t[k + 5], t[k + 6], t[k + 7], t[k + 8],
    t[k + 9], t[k + 10], t[k + 11], t[k + 12], t[k + 13], t[k + 14], t[k + 15], t[k + 16] =
      byte(s, p, p + 15)
    k = k + 16
  end
  for p = i + k, j do
    k = k + 1
    t[k] = byte(s, p)
  end
  return t
end

-- The first element from p to e that is not a byte, if any; it raises on
-- an element that is not a number (a comparison with one), and is fast.
local function first_other(t, p, e)
  for q = p, e do
    local v = t[q]
    if not (v >= 0 and v <= 255 and v % 1 == 0) then return q end
  end
end

-- Raises the error for the first element from p to e that is not a byte.
local function check(t, p, e)
  for q = p, e do
    local v = t[q]
    if type(v) ~= "number" or v < 0 or v > 255 or v % 1 ~= 0 then
      error(format("vorsel.bytes.to_string: element %d is %s, not an integer from 0 to 255",
        q, type(v) == "string" and format("%q", v) or tostring(v)), 3)
    end
  end
end

--- Elements i to j of byte table t (string.sub's rules on #t; all of t by
--- default) as a string. Every element must be an integer from 0 to 255, as
--- decrypt's results always are; anything else is an error naming it.
function bytes.to_string(t, i, j)
  if type(t) ~= "table" then
    error(format("vorsel.bytes.to_string: a table expected, got %s", type(t)), 2)
  end
  i, j = span(#t, i, j)
  local parts, n = {}, 0
  for p = i, j, CHUNK do
    local e = p + CHUNK - 1
    if e > j then e = j end
    local ok, other = pcall(first_other, t, p, e)
    if not ok or other then check(t, p, e) end
    n = n + 1
    parts[n] = char(unpack(t, p, e))
  end
  return concat(parts)
end

return bytes
