-- examples/bytes.lua: strings of any size to byte tables and back, and
-- through the module.
local S = require("support")
local vorsel = require("vorsel")
local bytes = dofile(S.ROOT .. "/examples/bytes.lua")

describe("examples/bytes.lua", function()
  it("round-trips 1 MB of every byte value, sealed and opened on the way", function()
    local parts = {}
    for i = 0, 255 do parts[#parts + 1] = string.char(i) end
    local text = table.concat(parts):rep(4096) -- 1 MiB
    local t = bytes.from_string(text)
    assert.are.equal(#text, #t)
    assert.are.equal(255, t[256])
    local k = S.key(4)
    assert.is_true(bytes.to_string(vorsel.decrypt(vorsel.encrypt(t, k), k)) == text)
  end)

  it("takes the empty string and a byte short of a chunk", function()
    assert.are.same({}, bytes.from_string(""))
    assert.are.equal("", bytes.to_string({}))
    local s = ("x"):rep(4095)
    assert.is_true(bytes.to_string(bytes.from_string(s)) == s)
  end)
end)
