-- Errors crossing the module's frames, many times and in every setting a
-- host gives them: plain and nested pcalls, coroutines, errors raised by a
-- hook inside the module's own protected call; and results of a few MiB.
-- (On Windows, LuaJIT unwinds these with SEH on x64 and DWARF on x86.)
local S = require("support")
local vorsel = require("vorsel")
local MSG = S.MSG
local k = S.key(5)
local sealed = vorsel.encrypt(S.range(40), k)

-- One failing call of each kind, with its message.
local failing = {
  { MSG.args, function() return vorsel.encrypt({ 1 }) end },
  { MSG.input, function() return vorsel.decrypt("x", k) end },
  { MSG.key, function() return vorsel.encrypt({ 1 }, S.range(15)) end },
  { MSG.format, function() return vorsel.decrypt(sealed, S.key(6)) end },
}

describe("errors through the module", function()
  it("leave the state as it was, ten thousand times over", function()
    collectgarbage()
    local before = collectgarbage("count")
    for _ = 1, 2500 do
      for _, f in ipairs(failing) do
        local ok, err = pcall(f[2])
        assert(not ok and S.message_of(err) == f[1], err)
      end
    end
    collectgarbage()
    assert.is_true(collectgarbage("count") - before < 256, "memory grew")
    assert.are.same(S.range(40), vorsel.decrypt(sealed, k))
  end)

  it("cross nested pcalls and come out at the right level", function()
    local function nest(depth, f)
      if depth == 0 then return f() end
      local ok, err = pcall(nest, depth - 1, f)
      assert.is_false(ok)
      error(err, 0) -- passed on unchanged, one level up
    end
    for _, f in ipairs(failing) do
      local ok, err = pcall(nest, 60, f[2])
      assert.is_false(ok)
      assert.are.equal(f[1], S.message_of(err))
    end
  end)

  it("stay inside coroutines, caught there or ending them", function()
    for _, f in ipairs(failing) do
      local co = coroutine.create(function()
        local ok, err = pcall(f[2])
        coroutine.yield(ok, err)
        f[2]() -- this one ends the coroutine
      end)
      local resumed, ok, err = coroutine.resume(co)
      assert.is_true(resumed)
      assert.is_false(ok)
      assert.are.equal(f[1], S.message_of(err))
      resumed, err = coroutine.resume(co)
      assert.is_false(resumed)
      assert.are.equal(f[1], S.message_of(err))
      assert.are.equal("dead", coroutine.status(co))
    end
    -- A coroutine inside a coroutine, the error crossing both.
    local outer = coroutine.wrap(function()
      local inner = coroutine.wrap(function() return vorsel.decrypt(sealed, S.key(7)) end)
      return pcall(inner)
    end)
    local ok, err = outer()
    assert.is_false(ok)
    assert.are.equal(MSG.format, S.message_of(err))
  end)

  it("do not stop results of a few MiB from coming back", function()
    local n = 3 * 1024 * 1024 + 5
    local input = {}
    for i = 1, n do input[i] = (i * 7) % 256 end
    local out = vorsel.encrypt(input, k)
    assert.are.equal(n + 9 + (16 - (n + 9) % 16) % 16, #out)
    local back = vorsel.decrypt(out, k)
    assert.are.equal(n, #back)
    for i = 1, n, 997 do assert(back[i] == input[i]) end
    assert.are.equal(input[n], back[n])
  end)
end)
