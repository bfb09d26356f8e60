-- Strings to byte tables and back, a chunk at a time. The one-call idioms
-- {s:byte(1, -1)} and string.char(unpack(t)) put every byte on the Lua
-- stack at once, and Lua 5.1 and LuaJIT refuse that beyond some thousands
-- ("string slice too long", "too many results to unpack").
--
--   local bytes = dofile("examples/bytes.lua")
--   local sealed = vorsel.encrypt(bytes.from_string(text), key)
--   local text = bytes.to_string(vorsel.decrypt(sealed, key))
local unpack = table.unpack or unpack
local CHUNK = 4096

local bytes = {}

function bytes.from_string(s)
  local t = {}
  for i = 1, #s, CHUNK do
    local part = { s:byte(i, i + CHUNK - 1) }
    for k = 1, #part do t[i + k - 1] = part[k] end
  end
  return t
end

function bytes.to_string(t)
  local parts = {}
  for i = 1, #t, CHUNK do
    parts[#parts + 1] = string.char(unpack(t, i, math.min(i + CHUNK - 1, #t)))
  end
  return table.concat(parts)
end

return bytes
