-- vorsel walk-through: seal a text with a key, open it again, and see what a
-- wrong key does. Run it with `make demo`, or from the project root with
--   lua5.1 -e 'package.cpath = "build/?.so;" .. package.cpath' examples/demo.lua
local vorsel = require("vorsel")

-- Bytes travel as Lua arrays of numbers 0..255.
local function to_bytes(s)
  local t = {}
  for i = 1, #s do t[i] = s:byte(i) end
  return t
end

local function to_text(t)
  local parts = {}
  for i = 1, #t do parts[i] = string.char(t[i]) end
  return table.concat(parts)
end

local function to_hex(t)
  local lines = {}
  for row = 0, math.ceil(#t / 16) - 1 do
    local cells = {}
    for i = row * 16 + 1, math.min(#t, row * 16 + 16) do cells[#cells + 1] = string.format("%02x", t[i]) end
    lines[#lines + 1] = "    " .. table.concat(cells, " ")
  end
  return table.concat(lines, "\n")
end

io.write(vorsel.version())
print()

local text = "Meet me at the old mill at nine."
local key = to_bytes("sixteen byte key") -- exactly 16 bytes

print(string.format("plain text (%d bytes): %s", #text, text))
local sealed = vorsel.encrypt(to_bytes(text), key)
print(string.format("sealed (%d bytes = 9 header + %d payload + %d padding):",
  #sealed, #text, #sealed - 9 - #text))
print(to_hex(sealed))

local opened = vorsel.decrypt(sealed, key)
print(string.format("decrypted (%d bytes): %s", #opened, to_text(opened)))

local wrong = to_bytes("another key 16 b")
local ok, err = pcall(vorsel.decrypt, sealed, wrong)
print("decrypt with a wrong key: " .. (ok and "succeeded?!" or err))

ok, err = pcall(vorsel.encrypt, to_bytes(text), to_bytes("short key"))
print("encrypt with a 9-byte key: " .. (ok and "succeeded?!" or err))
