-- The payloads and keys the OpenSSL comparison uses: the same on every
-- interpreter and platform (a generator of our own, not math.random), so
-- that answers OpenSSL gave on the build machine can be checked elsewhere.
local cases = {}

local state = 4242
local function next_byte()
  -- Products stay below 2^53: exact in a double and in an integer.
  state = (state * 69069 + 1) % 4294967296
  return math.floor(state / 16777216)
end

local function bytes(n)
  local t = {}
  for i = 1, n do t[i] = next_byte() end
  return t
end

local lengths = { 1, 7, 8, 23, 24, 100 }
for _ = 1, 14 do lengths[#lengths + 1] = 1 + (next_byte() * 256 + next_byte()) % 3000 end
for i, n in ipairs(lengths) do
  cases[i] = { key = bytes(16), payload = bytes(n) }
end

-- The plain frame of a payload, as a string: magic, pad count, payload, pad.
function cases.plain_frame(payload)
  local pad = (16 - (#payload + 9) % 16) % 16
  local parts = { "KAVRO   ", string.char(pad) }
  for i = 1, #payload do parts[#parts + 1] = string.char(payload[i]) end
  parts[#parts + 1] = string.rep(" ", pad)
  return table.concat(parts)
end

function cases.hex(s)
  return (s:gsub(".", function(c) return string.format("%02x", c:byte()) end))
end

-- OpenSSL's AES-128-ECB (no padding) of a string under a byte-table key,
-- through the openssl command; nil where there is none.
function cases.openssl_ecb(key, plain)
  local key_hex = cases.hex(string.char((table.unpack or unpack)(key)))
  local file = os.tmpname()
  local f = assert(io.open(file, "wb"))
  f:write(plain)
  f:close()
  local pipe = io.popen("openssl enc -aes-128-ecb -nopad -K " .. key_hex .. " -in " .. file .. " 2>/dev/null")
  local out = pipe and pipe:read("*a")
  if pipe then pipe:close() end
  os.remove(file)
  if out == nil or #out ~= #plain then return nil end
  return out
end

return cases
