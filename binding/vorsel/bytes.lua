-- vorsel.bytes: strings to byte tables and back, for vorsel.encrypt and
-- vorsel.decrypt. Plain Lua for Lua 5.1 to 5.5 and LuaJIT. It never puts
-- more than a few thousand values on the Lua stack at once: the one-call
-- idioms { s:byte(1, -1) } and string.char(unpack(t)) fail at about 8000
-- bytes on Lua 5.1 and LuaJIT.
--
--   local bytes = require "vorsel.bytes"
--   local sealed = vorsel.encrypt(bytes.from_string(text), key)
--   local text = bytes.to_string(vorsel.decrypt(sealed, key))
local byte, char, concat, pcall = string.byte, string.char, table.concat, pcall
local type, tostring, tonumber, error, format = type, tostring, tonumber, error, string.format
local unpack = table.unpack or unpack
-- The raw length, as vorsel reads byte tables: # honours __len on Lua 5.2
-- and later (and in LuaJIT built with its 5.2 extensions).
local rawlen = rawlen or function(t) return #t end

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

-- Elements p to e, one at a time, for a chunk that string.char refused:
-- numbers (and strings Lua converts to numbers) above -1 and below 256 give
-- their truncation toward zero, as string.char gives them on Lua 5.1 and
-- LuaJIT; anything else is an error naming the first such element.
local function checked_char(t, p, e)
  local codes = {}
  for q = p, e do
    local v = t[q]
    local x = (type(v) == "number" or type(v) == "string") and tonumber(v)
    if not (x and x > -1 and x < 256) then
      error(format("vorsel.bytes.to_string: element %d is %s, not a number from 0 to 255",
        q, type(v) == "string" and format("%q", v) or tostring(v)), 3)
    end
    codes[q - p + 1] = x >= 0 and x - x % 1 or 0
  end
  return char(unpack(codes, 1, e - p + 1))
end

--- Elements i to j of byte table t (string.sub's rules on its raw length,
--- as vorsel reads byte tables; all of t by default) as a string. Each
--- element is taken as string.char takes it; a fractional one is truncated
--- toward zero on every version, and an element that is no number from 0 to
--- 255 is an error naming it.
function bytes.to_string(t, i, j)
  if type(t) ~= "table" then
    error(format("vorsel.bytes.to_string: a table expected, got %s", type(t)), 2)
  end
  i, j = span(rawlen(t), i, j)
  local parts, n = {}, 0
  for p = i, j, CHUNK do
    local e = p + CHUNK - 1
    if e > j then e = j end
    -- string.char is the check: only a chunk it refuses is looked at again.
    local ok, s = pcall(char, unpack(t, p, e))
    n = n + 1
    parts[n] = ok and s or checked_char(t, p, e)
  end
  return concat(parts)
end

return bytes
