-- Sealed output checked against OpenSSL: AES-128-ECB, no padding, of the
-- plain frame built here from the format's rules. Where the openssl command
-- runs, it is asked directly; elsewhere (Windows, other CPUs under qemu) the
-- answers it gave on the build machine are read from VORSEL_OPENSSL_ANSWERS.
local S = require("support")
local vorsel = require("vorsel")
local cases = dofile("oracle_cases.lua")

local live = cases.openssl_ecb(S.range(16), "0123456789abcdef") ~= nil
local answers_file = os.getenv("VORSEL_OPENSSL_ANSWERS")

describe("sealed output", function()
  local live_it = S.it_if(live, S.WINDOWS and "no openssl command on Windows" or "no openssl command here",
    it, pending)
  live_it("equals OpenSSL's AES-128-ECB of the plain frame", function()
    for _, c in ipairs(cases) do
      local expected = cases.openssl_ecb(c.key, cases.plain_frame(c.payload))
      assert.are.equal(#cases.plain_frame(c.payload), #expected)
      assert.are.equal(cases.hex(expected), S.hex(vorsel.encrypt(c.payload, c.key)), "n = " .. #c.payload)
    end
  end)

  local answers_it = S.it_if(answers_file, "VORSEL_OPENSSL_ANSWERS not set", it, pending)
  answers_it("equals the answers OpenSSL gave on the build machine", function()
    local answers = dofile(answers_file)
    assert.are.equal(#cases, #answers)
    for i, c in ipairs(cases) do
      assert.are.equal(answers[i], S.hex(vorsel.encrypt(c.payload, c.key)), "n = " .. #c.payload)
      assert.are.same(c.payload, vorsel.decrypt(S.bytes_of(S.unhex(answers[i])), c.key))
    end
  end)
end)
