-- One call on 1 MiB for an instruction count: the same setup, then nothing,
-- encrypt, or vorsel.bytes' to_string or from_string (bench/bytes_callgrind.sh).
--   <interpreter> bench/bytes_once.lua <folder holding vorsel.so> none|encrypt|to_string|from_string
package.cpath = arg[1] .. "/?.so;" .. package.cpath
package.path = "binding/?.lua;" .. package.path
local vorsel = require("vorsel")
local bytes = require("vorsel.bytes")
local parts = {}
for i = 0, 255 do parts[#parts + 1] = string.char((i * 31) % 256) end
local text = table.concat(parts):rep(4096)
local t = bytes.from_string(text)
local key = bytes.from_string("0123456789abcdef")
local mode = arg[2]
if mode == "encrypt" then
  vorsel.encrypt(t, key)
elseif mode == "to_string" then
  bytes.to_string(t)
elseif mode == "from_string" then
  bytes.from_string(text)
end
