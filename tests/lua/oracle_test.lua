-- Sealed output checked against the openssl command: AES-128-ECB, no
-- padding, of the plain frame built here from the format's rules.
local S = require("support")
local vorsel = require("vorsel")

local function plain_frame(payload)
  local pad = (16 - (#payload + 9) % 16) % 16
  return "KAVRO   " .. string.char(pad) .. S.string_of(payload) .. string.rep(" ", pad)
end

local function openssl_ecb(key, plain)
  local file = os.tmpname()
  local f = assert(io.open(file, "wb"))
  f:write(plain)
  f:close()
  local pipe = assert(io.popen("openssl enc -aes-128-ecb -nopad -K " .. S.hex(key) .. " -in " .. file))
  local out = pipe:read("*a")
  pipe:close()
  os.remove(file)
  return out
end

describe("sealed output", function()
  it("equals OpenSSL's AES-128-ECB of the plain frame", function()
    math.randomseed(4242)
    local lengths = { 1, 7, 8, 23, 24, 100 }
    for _ = 1, 14 do lengths[#lengths + 1] = math.random(1, 3000) end
    for _, n in ipairs(lengths) do
      local key, payload = S.random_bytes(16), S.random_bytes(n)
      local expected = openssl_ecb(key, plain_frame(payload))
      assert.are.equal(#plain_frame(payload), #expected)
      assert.are.equal(S.hex(expected), S.hex(vorsel.encrypt(payload, key)), "n = " .. n)
    end
  end)
end)
