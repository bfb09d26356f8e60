-- vorsel.bytes: strings of any size to byte tables and back, and through
-- the module.
local S = require("support")
local vorsel = require("vorsel")
local bytes = require("vorsel.bytes")
local unpack = table.unpack or unpack

local ALL = {}
for i = 0, 255 do ALL[#ALL + 1] = string.char(i) end
ALL = table.concat(ALL)

describe("vorsel.bytes", function()
  it("round-trips 1 MiB of every byte value, sealed and opened on the way", function()
    local text = ALL:rep(4096)
    local t = bytes.from_string(text)
    assert.are.equal(#text, #t)
    assert.are.equal(255, t[256])
    local k = S.key(4)
    assert.is_true(bytes.to_string(vorsel.decrypt(vorsel.encrypt(t, k), k)) == text)
  end)

  it("takes every length around the batch and chunk sizes, and string.sub's ranges", function()
    for _, n in ipairs({ 0, 1, 15, 16, 17, 31, 4095, 4096, 4097, 8193 }) do
      local s = ALL:rep(40):sub(1, n)
      local t = bytes.from_string(s)
      assert.are.equal(n, #t)
      assert.is_true(bytes.to_string(t) == s, "length " .. n)
    end
    -- Ranges that end inside a chunk, or start past the first.
    local s = ALL:rep(20):sub(1, 5000)
    local t = bytes.from_string(s)
    for _, r in ipairs({ { 1, 10 }, { 4000, 4100 }, { 4097, 4200 }, { 4096, 4096 }, { -10, -1 }, { 2, -2 } }) do
      assert.are.equal(s:sub(r[1], r[2]), bytes.to_string(t, r[1], r[2]), r[1] .. ", " .. r[2])
    end
  end)

  it("takes every range that string.sub takes, as string.sub takes it", function()
    -- (Compiled by LuaJIT 2.1.0-beta3, string.sub gets some negative ends
    -- wrong, ("AB"):sub(-1, -4) == "B" among them: its interpreter is the
    -- yardstick there.)
    local compiling = jit and jit.status()
    if jit then jit.off() end
    finally(function() if compiling then jit.on() end end)
    for _, n in ipairs({ 0, 1, 2, 5, 17 }) do
      local s = ALL:sub(66, 65 + n)
      local t = bytes.from_string(s)
      for i = -n - 2, n + 2 do
        for _, j in ipairs({ false, -n - 2, -n - 1, -n, -1, 0, 1, n - 1, n, n + 1, n + 2, i - 1, i, i + 1 }) do
          local want = j and s:sub(i, j) or s:sub(i)
          local got_t = j and bytes.from_string(s, i, j) or bytes.from_string(s, i)
          local got_s = j and bytes.to_string(t, i, j) or bytes.to_string(t, i)
          local range = ("n = %d, i = %d, j = %s"):format(n, i, tostring(j))
          assert.are.same({ want:byte(1, -1) }, got_t, range)
          assert.are.equal(want, got_s, range)
        end
      end
    end
  end)

  it("reads a table by its raw length, as vorsel does, whatever __len says", function()
    local t = setmetatable(bytes.from_string("abc"), { __len = function() return 1 end })
    assert.are.equal("abc", bytes.to_string(t))
    assert.are.equal("bc", bytes.to_string(t, -2))
  end)

  it("raises its messages at the caller's line, naming what came", function()
    local function at(f, ...)
      local line = debug.getinfo(1, "l").currentline + 1
      local ok, err = pcall(function(...) f(...) end, ...)
      assert.is_false(ok)
      local where, what = err:match("^[^\n]*bytes_test%.lua:(%d+): (.*)$")
      assert.are.equal(tostring(line), where, err)
      return what
    end
    assert.are.equal("vorsel.bytes.from_string: a string expected, got number", at(bytes.from_string, 42))
    assert.are.equal("vorsel.bytes.from_string: a string expected, got table", at(bytes.from_string, {}))
    assert.are.equal("vorsel.bytes.to_string: a table expected, got string", at(bytes.to_string, "x"))
    assert.are.equal("vorsel.bytes.to_string: a table expected, got nil", at(bytes.to_string))
    assert.are.equal("vorsel.bytes.to_string: element 2 is true, not a number from 0 to 255",
      at(bytes.to_string, { 1, true }))
    assert.are.equal('vorsel.bytes.to_string: element 3 is "x", not a number from 0 to 255',
      at(bytes.to_string, { 1, 2, "x" }))
  end)

  it("refuses an element that is not a byte, naming its index and value", function()
    local refused = { 256, -1, 255.5 + 1, "x", " 256", true, {} }
    -- Lua 5.3 and later's string.char refuses these too; elsewhere its
    -- conversion to an integer decides (by version and CPU).
    if not jit and _VERSION ~= "Lua 5.1" and _VERSION ~= "Lua 5.2" then
      for _, v in ipairs({ 0 / 0, 1 / 0, 2 ^ 32 + 65 }) do refused[#refused + 1] = v end
    end
    for _, bad in ipairs(refused) do
      local t = bytes.from_string(ALL:rep(20))
      t[4500] = bad
      local ok, err = pcall(bytes.to_string, t)
      assert.is_false(ok)
      assert.is_truthy(err:find("element 4500 is ", 1, true), err)
      assert.is_truthy(err:find("not a number from 0 to 255", 1, true), err)
    end
    -- Fractions are truncated toward zero on every version, and numeric
    -- strings taken by their value, as string.char takes them.
    local odd = bytes.from_string(ALL:rep(20))
    odd[4500], odd[4501], odd[4502], odd[4503] = 65.5, -0.5, 255.9, "66"
    local s = bytes.to_string(odd)
    assert.are.equal("A\0\255B", s:sub(4500, 4503))
    assert.are.equal(ALL:rep(20):sub(4504), s:sub(4504))
    local t = { 1, 2 }
    t[4] = 4 -- a hole at 3 inside the border 4 of some interpreters
    if #t == 4 then assert.has_error(function() bytes.to_string(t) end) end
    assert.has_error(function() bytes.from_string(42) end)
    assert.has_error(function() bytes.to_string("x") end)
  end)

  -- The one-call idioms put every byte on the Lua stack at once: they fail
  -- at about 8000 bytes on Lua 5.1 and LuaJIT, and at about a million on
  -- Lua 5.2 to 5.4 (as the README says).
  it("is needed: the one-call idioms fail where the README says", function()
    local small = (jit or _VERSION == "Lua 5.1") and 7000 or 900000
    local large = (jit or _VERSION == "Lua 5.1") and 8200 or 1100000
    local s = ("x"):rep(large)
    local t = bytes.from_string(s)
    assert.is_true(pcall(function() return { s:byte(1, small) } end))
    assert.is_true(pcall(function() return string.char(unpack(t, 1, small)) end))
    assert.is_false(pcall(function() return { s:byte(1, large) } end))
    assert.is_false(pcall(function() return string.char(unpack(t, 1, large)) end))
  end)
end)
