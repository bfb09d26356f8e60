-- vorsel.strings against vorsel itself: the same sealed bytes for the same
-- input, each side opening what the other sealed; its checks and messages;
-- its memory failures; and Lua code that meets its helper on the stack.
local S = require("support")
local vorsel = require("vorsel")
local strings = require("vorsel.strings")
local bytes = require("vorsel.bytes")

local KEY = "0123456789abcdef"
local unpack = table.unpack or unpack

-- n bytes that differ from block to block.
local function text_of(n, seed)
  local parts = {}
  for i = 1, n do parts[i] = string.char((i * 7 + (seed or 0)) % 256) end
  return table.concat(parts)
end

-- What fn(...) raised, without the position luaL_error puts first.
local function raised(fn, ...)
  local ok, err = pcall(fn, ...)
  assert.is_false(ok)
  return (tostring(err):gsub("^[^:]*:%d+: ", ""))
end

describe("vorsel.strings", function()
  it("seals byte for byte as vorsel does, and each opens what the other sealed", function()
    local key_table = bytes.from_string(KEY)
    local lengths = { 1, 1048576 }
    for k = 1, 300 do -- around every block boundary up to 4.8 KiB, and the stack buffer's edge
      for d = -1, 1 do lengths[#lengths + 1] = 16 * k - 9 + d end
    end
    for _, n in ipairs(lengths) do
      local text = text_of(n, n)
      local sealed = strings.encrypt(text, KEY)
      local sealed_table = vorsel.encrypt(bytes.from_string(text), key_table)
      assert.are.equal(#sealed_table, #sealed)
      assert(bytes.to_string(sealed_table) == sealed, "sealed differently at " .. n)
      assert(strings.encrypt(text, key_table) == sealed, "table key at " .. n)
      assert(strings.decrypt(bytes.to_string(sealed_table), KEY) == text, "opening vorsel's at " .. n)
      assert(bytes.to_string(vorsel.decrypt(bytes.from_string(sealed), key_table)) == text,
        "vorsel opening ours at " .. n)
      assert(strings.decrypt(sealed, key_table) == text, "table key, opening at " .. n)
    end
  end)

  it("seals the empty string into one block, and converts a key table as vorsel does", function()
    local sealed = strings.encrypt("", KEY)
    assert.are.equal(16, #sealed)
    assert.are.equal("", strings.decrypt(sealed, KEY))
    assert.are.same({}, vorsel.decrypt(bytes.from_string(sealed), bytes.from_string(KEY)))
    local odd = { 256, "12", -1, 255.9, true, 0x41, 2 ^ 32, 0 / 0, 7, 8, 9, 10, 11, 12, 13, 14 }
    local same = string.char(0, 12, 255, 255, 0, 65, 0, 0, 7, 8, 9, 10, 11, 12, 13, 14)
    assert.are.equal(strings.encrypt("abc", same), strings.encrypt("abc", odd))
    assert.are.equal(bytes.to_string(vorsel.encrypt({ 97, 98, 99 }, odd)), strings.encrypt("abc", odd))
  end)

  it("refuses what vorsel refuses, with messages that say what came", function()
    local sealed = strings.encrypt("hello", KEY)
    local key_msg = "argument #2 (key) must be a 16-byte string or a table of 16 bytes, got "
    local blocks = "argument #1 (sealed) must be whole 16-byte blocks, 16 to 268435472 bytes, got "
    local format = "invalid encrypted data format (not sealed data, or a wrong key)"
    local cases = {
      { strings.encrypt, { "a", n = 1 }, "encrypt: 2 arguments expected (text, key), got 1" },
      { strings.decrypt, { sealed, KEY, 3, n = 3 }, "decrypt: 2 arguments expected (sealed, key), got 3" },
      { strings.encrypt, { 12, KEY }, "encrypt: argument #1 (text) must be a string, got number" },
      { strings.decrypt, { {}, KEY }, "decrypt: argument #1 (sealed) must be a string, got a table of 0 elements" },
      { strings.encrypt, { "a", KEY:sub(2) }, "encrypt: " .. key_msg .. "a string of 15 bytes" },
      { strings.encrypt, { "a", KEY .. "x" }, "encrypt: " .. key_msg .. "a string of 17 bytes" },
      { strings.decrypt, { sealed, { 1, 2 } }, "decrypt: " .. key_msg .. "a table of 2 elements" },
      { strings.decrypt, { sealed, false }, "decrypt: " .. key_msg .. "boolean" },
      { strings.decrypt, { "", KEY }, "decrypt: " .. blocks .. "0" },
      { strings.decrypt, { sealed .. "x", KEY }, "decrypt: " .. blocks .. "17" },
      { strings.decrypt, { sealed:sub(1, 15), KEY }, "decrypt: " .. blocks .. "15" },
      { strings.decrypt, { sealed, KEY:reverse() }, "decrypt: " .. format },
      { strings.decrypt, { ("\0"):rep(32), KEY }, "decrypt: " .. format },
    }
    for _, c in ipairs(cases) do
      assert.are.equal("vorsel.strings." .. c[3], raised(c[1], unpack(c[2], 1, c[2].n or 2)))
    end
    -- A pad count above 15 in an otherwise good first block.
    local plain = "KAVRO   " .. string.char(16) .. ("\0"):rep(7)
    local key_table = bytes.from_string(KEY)
    local forged = bytes.to_string(vorsel.encrypt(bytes.from_string(("\0"):rep(7) .. plain), key_table))
    assert.are.equal("vorsel.strings.decrypt: " .. format, raised(strings.decrypt, forged:sub(17, 32), KEY))
  end)

  it("adds nothing to vorsel or the globals", function()
    local fields = {}
    for name in pairs(strings) do fields[#fields + 1] = name end
    table.sort(fields)
    assert.are.same({ "decrypt", "encrypt", "opener", "sealer" }, fields)
    assert.is_nil(rawget(_G, "vorsel.strings") or vorsel.strings)
  end)
end)

-- Feeds `text` to a stream in pieces of cut(i) bytes (the i-th piece);
-- returns all that update and final gave, joined.
local function through(stream, text, cut)
  local out, at, i = {}, 1, 1
  repeat
    local k = cut(i)
    out[i] = stream:update(text:sub(at, at + k - 1))
    at, i = at + k, i + 1
  until at > #text and i > 2
  out[i] = stream:final()
  return table.concat(out)
end

describe("vorsel.strings streams", function()
  it("give what encrypt and decrypt give of the whole, however the input is cut", function()
    math.randomseed(36)
    local lengths = { 1048576 }
    for n = 0, 300 do lengths[#lengths + 1] = n end
    for k = 20, 300 do lengths[#lengths + 1] = 16 * k - 9 + k % 3 - 1 end -- around block edges to 4.8 KiB
    for _, n in ipairs(lengths) do
      local text = text_of(n, n)
      local sealed = strings.encrypt(text, KEY)
      local cuts = { function() return math.random(0, 2 * n + 1) end, function() return 65536 end }
      for size = 0, n <= 300 and 17 or -1 do -- every piece size, and pieces of 0 between pieces of 5
        cuts[#cuts + 1] = function(i) return size == 0 and i % 2 * 5 or size end
      end
      for _, cut in ipairs(cuts) do
        assert(through(strings.sealer(KEY, n), text, cut) == sealed, "sealed differently at " .. n)
        assert(through(strings.opener(KEY), sealed, cut) == text, "opened differently at " .. n)
      end
    end
    local key_table = bytes.from_string(KEY)
    assert.are.equal(strings.encrypt("abc", KEY), through(strings.sealer(key_table, 3), "abc", function() return 1 end))
    assert.are.equal("abc", through(strings.opener(key_table), strings.encrypt("abc", KEY), function() return 7 end))
  end)

  it("refuse what does not fit, naming the method, and end on bad data", function()
    local sealed = strings.encrypt("hello", KEY)
    local function fed(stream, ...)
      for _, p in ipairs({ ... }) do stream:update(p) end
      return stream
    end
    local function sealer(n, ...) return fed(strings.sealer(KEY, n), ...) end
    local function opener(...) return fed(strings.opener(KEY), ...) end
    local s, o, forged = sealer(0), opener(), opener()
    debug.setmetatable(forged, getmetatable(s)) -- an opener under the sealer's metatable is still no sealer
    local blocks = "the sealed data must be whole 16-byte blocks, 16 to 268435472 bytes, got "
    local length = "sealer: argument #2 (length) must be a whole number from 0 to 268435456, got "
    local key_msg = "argument #1 (key) must be a 16-byte string or a table of 16 bytes, got "
    local cases = {
      { strings.sealer, { KEY, n = 1 }, "sealer: 2 arguments expected (key, length), got 1" },
      { strings.sealer, { KEY, -1 }, length .. "-1" },
      { strings.sealer, { KEY, 0.5 }, length .. "0.5" },
      { strings.sealer, { KEY, "3" }, length .. "a string of 1 bytes" },
      { strings.opener, { KEY, 1, n = 2 }, "opener: 1 argument expected (key), got 2" },
      { strings.opener, { KEY:sub(2), n = 1 }, "opener: " .. key_msg .. "a string of 15 bytes" },
      { s.update, { s, "x", "y", n = 3 }, "sealer:update: 2 arguments expected (self, piece), got 3" },
      { s.final, { s, 1 }, "sealer:final: 1 argument expected (self), got 2" },
      { s.update, { s, 5 }, "sealer:update: argument #1 (piece) must be a string, got number" },
      { s.update, { o, "x" }, "sealer:update: self must be a sealer, got an opener" },
      { o.final, { "x", n = 1 }, "opener:final: self must be an opener, got a string of 1 bytes" },
      { s.update, { forged, "x" }, "sealer:update: self must be a sealer, got userdata" },
      { s.update, { sealer(3, "ab"), "cd" }, "sealer:update: 3 bytes declared, got 4 with this piece" },
      { s.final, { sealer(3, "ab"), n = 1 }, "sealer:final: 3 bytes declared, got 2" },
      { o.update, { strings.opener(KEY:reverse()), sealed },
        "opener:update: invalid encrypted data format (not sealed data, or a wrong key)" },
      { o.final, { opener(sealed:sub(1, 15)), n = 1 }, "opener:final: " .. blocks .. "15" },
      { o.final, { opener(), n = 1 }, "opener:final: " .. blocks .. "0" },
    }
    for _, c in ipairs(cases) do
      assert.are.equal("vorsel.strings." .. c[3], raised(c[1], unpack(c[2], 1, c[2].n or 2)))
      local stream = c[2][1]
      local ending = c[3]:find("declared") or c[3]:find("invalid") or c[3]:find(blocks, 1, true)
      if type(stream) == "userdata" and ending then
        assert(raised(stream.final, stream):find("the stream has ended: an error ended it", 1, true), c[3])
      end
    end
    -- The payload comes out as soon as its block has; after final, and
    -- after __gc or __close, a stream takes nothing more.
    local short = opener(sealed:sub(1, 15))
    assert.are.same({ "hello", "" }, { short:update(sealed:sub(16, 16)), short:final() })
    assert.are.equal("opener:update: the stream has ended: final was called", raised(short.update, short, ""):sub(16))
    local closed = sealer(5, "he")
    getmetatable(closed).__gc(closed)
    assert.are.equal("sealer:final: the stream has ended: it was closed", raised(closed.final, closed):sub(16))
    if _VERSION >= "Lua 5.4" then
      closed = assert(load("local s <close> = ... return s"))(sealer(5))
      assert.are.equal("sealer:update: the stream has ended: it was closed", raised(closed.update, closed, "h"):sub(16))
    end
  end)
end)

describe("vorsel.strings and Lua code on the stack", function()
  local text = text_of(5000) -- beyond the C stack's buffer
  local sealed = strings.encrypt(text, KEY)
  local small_sealed = strings.encrypt("abc", KEY)

  -- The functions that make results through the helper: encrypt, decrypt
  -- and the streams' methods.
  local requests = { [strings.encrypt] = true, [strings.decrypt] = true }
  for _, stream in ipairs({ strings.sealer(KEY, 0), strings.opener(KEY) }) do
    for _, f in pairs(getmetatable(stream).__index) do requests[f] = true end
  end

  -- The helper a request runs when Lua code finds it on the stack (level 2
  -- and on from the caller's view), with its first slot and its level; or nil.
  local function helper_on_stack()
    for level = 3, 12 do
      local info, above = debug.getinfo(level, "fS"), debug.getinfo(level + 1, "f")
      if not above then return end
      if info.what == "C" and requests[above.func] and not requests[info.func] then
        return info.func, (select(2, debug.getlocal(level, 1))), level
      end
    end
  end

  -- Sets the collector's pause and step multiplier; returns the old ones.
  local function collector(pause, stepmul)
    if _VERSION == "Lua 5.5" then
      return collectgarbage("param", "pause", pause), collectgarbage("param", "stepmul", stepmul)
    end
    return collectgarbage("setpause", pause), collectgarbage("setstepmul", stepmul)
  end

  local function finalized(gc)
    if newproxy then getmetatable(newproxy(true)).__gc = gc else setmetatable({}, { __gc = gc }) end
  end

  -- Runs `each` up to `times` times under a collector that never pauses,
  -- from a full collection, with ten objects finalized by `gc` and a new
  -- string of some KiB made before each: the collector then owes steps and
  -- takes one at each allocation in the call, so once a cycle reaches the
  -- objects, finalizers run inside calls. Stops early when `each` returns
  -- true. A cycle takes more calls the more the interpreter holds, so those
  -- waiting for a finalizer inside a call bound the finalizers run instead.
  local function under_finalizers(gc, times, each)
    local pause, stepmul = collector(0, 200)
    collectgarbage()
    for i = 1, times do
      for _ = 1, 10 do finalized(gc) end
      local _ = ("j"):rep(8192 + i % 1024)
      if each() then break end
    end
    collector(pause, stepmul)
    collectgarbage()
  end

  local function right()
    assert(strings.encrypt(text, KEY) == sealed and strings.decrypt(sealed, KEY) == text)
    assert(strings.decrypt(small_sealed, KEY) == "abc")
  end

  it("leaves a debug hook in place through a call; the helper it meets gives it nothing", function()
    local met = 0
    local function hook()
      local f = helper_on_stack()
      if f then
        met = met + 1
        assert(f(nil) == nil and f() == nil and f(1, 2) == nil, "the helper gave a hook its job")
      end
    end
    debug.sethook(hook, "c")
    local a, b = strings.encrypt(text, KEY), strings.decrypt(sealed, KEY)
    local now = debug.gethook()
    debug.sethook()
    assert(now == hook and a == sealed and b == text)
    assert.is_true(met > 0)
  end)

  it("runs a count hook's countdown on through calls with large results", function()
    local compiling = jit and jit.status()
    if jit then jit.off() end -- compiled code calls no count hook
    finally(function() if compiling then jit.on() end end)
    local function fired_over(input)
      local fired = 0
      debug.sethook(function() fired = fired + 1 end, "", 25)
      for _ = 1, 1000 do strings.encrypt(input, KEY) end
      debug.sethook()
      return fired
    end
    local small, large = fired_over("abc"), fired_over(text)
    assert(large >= small * 0.9 and small > 0,
      ("fired %d times with large results, %d with small"):format(large, small))
    -- An instruction budget on a coroutine stops its loop.
    local co = coroutine.create(function()
      for _ = 1, 20000 do strings.encrypt(text, KEY) end
      return "ran out"
    end)
    -- (LuaJIT's hooks are the whole state's.)
    debug.sethook(co, function() if coroutine.running() == co then error("over budget", 0) end end, "", 1000)
    local results = { coroutine.resume(co) }
    debug.sethook(co)
    debug.sethook()
    assert.are.same({ false, "over budget" }, results)
  end)

  it("keeps a hook that a finalizer sets inside a call", function()
    local function mine() end
    local inside, runs = false, 0
    under_finalizers(function()
      runs = runs + 1
      if not inside and helper_on_stack() then
        inside = true
        debug.sethook(mine, "", 1000000)
      end
    end, 100000, function()
      right()
      return inside or runs > 20000
    end)
    -- (5.1's debug.gethook gives the function it last set whatever is in
    -- place; the count tells.)
    local now, _, count = debug.gethook()
    debug.sethook()
    -- (Lua 5.2 runs no finalizer while a C function makes a string.)
    assert(inside or _VERSION == "Lua 5.2", "no finalizer ran inside a call")
    assert.are.same(inside and { mine, 1000000 } or {}, { now, inside and count or nil })
  end)

  it("gives finalizers nothing to misuse: the helper copies nothing for them, called later or as anything", function()
    -- Finalizers run while results are made record the helper and its first
    -- slot; called again later, with that or junk, it gives nothing.
    local found, runs = {}, 0
    under_finalizers(function()
      runs = runs + 1
      local f, slot = helper_on_stack()
      if f then found[#found + 1] = { f, slot } end
    end, 100000, function()
      right()
      return #found >= 2 or runs > 20000
    end)
    -- (Lua 5.2 runs no finalizer while a C function makes a string.)
    assert(#found > 0 or _VERSION == "Lua 5.2", "no finalizer met the helper")
    for _, f in ipairs(found) do
      for _, arg in ipairs({ f[2], 0, "x" }) do
        local ok, result = pcall(f[1], arg)
        assert(not ok or result == nil, "a helper gave a result after its call had ended")
      end
    end
    for _, f in ipairs(found) do
      -- As the finalizer of objects collected inside later requests: itself,
      -- or the light userdata it was given made callable as it.
      local gc = f[1]
      if type(f[2]) == "userdata" then
        debug.setmetatable(f[2], { __call = f[1] })
        gc = f[2]
      end
      under_finalizers(gc, 200, right)
      if gc ~= f[1] then debug.setmetatable(f[2], nil) end
      -- As xpcall's message handler for a finalizer's error raised inside
      -- the helper (its first slot as the value), which the request raises
      -- again after it has freed its block.
      local thrown = false
      under_finalizers(function()
        if not thrown and helper_on_stack() == f[1] then
          thrown = true
          error(select(2, helper_on_stack()), 0)
        end
      end, 300, function()
        local ok, result = xpcall(function() return strings.encrypt(text, KEY) end, f[1])
        assert(ok and result == sealed or not ok and type(result) ~= "string", "the handler copied a block")
        return thrown
      end)
    end
  end)

  it("streams refuse calls on themselves from Lua code inside their calls, and lose no byte", function()
    -- A finalizer inside a stream's call calls it again (refused: in use),
    -- then closes it (that call still gives its bytes), then takes it off
    -- the call's stack and lets the collector have it.
    local piece, most = text:sub(1, 99), 20000
    for mode in (os.getenv("MODES") or "again close drop"):gmatch("%a+") do
      local sealer, opener = strings.sealer(KEY, #piece * most), strings.opener(KEY)
      local current, met, runs, closed, pieces, sealed_parts, opened = nil, 0, 0, nil, {}, {}, {}
      under_finalizers(function()
        runs = runs + 1
        local _, _, level = helper_on_stack()
        if not current or not level then return end
        met = met + 1
        local stream = current
        current = nil -- once in a call
        for _, call in ipairs({ { stream.update, stream, "x" }, { stream.final, stream } }) do
          local ok, err = pcall(unpack(call))
          assert(not ok and err:find("the stream is in use: a call on it has not returned", 1, true), err)
        end
        if mode == "close" then
          getmetatable(stream).__gc(stream)
          closed = stream
        end
        if mode == "drop" then
          for l = level, level + 3 do -- the call's own frame (level from here) and its callers
            for i = 1, 8 do
              if select(2, debug.getlocal(l, i)) == stream then debug.setlocal(l, i, nil) end
            end
          end
          current, sealer, opener, stream = nil, nil, nil, nil -- luacheck: ignore
          pcall(collectgarbage)
          pcall(collectgarbage)
        end
      end, most, function()
        if not sealer then return true end
        -- (Taken off the stack before the call has looked, the stream is
        -- refused as no stream.)
        local function call(stream, input)
          current = stream
          local ok, result = pcall(stream.update, stream, input)
          current = nil
          assert(ok or mode == "drop" and result:find("self must be", 1, true), result)
          return ok and result or ""
        end
        local part = call(sealer, piece)
        pieces[#pieces + 1], sealed_parts[#sealed_parts + 1] = piece, part
        opened[#opened + 1] = opener and call(opener, part)
        return met > 0 or runs > 100000
      end)
      assert(met > 0 or _VERSION == "Lua 5.2", "no finalizer ran inside a stream's call: " .. mode)
      if mode == "again" then
        local rest = #piece * (most - #pieces)
        pieces[#pieces + 1] = ("r"):rep(rest)
        sealed_parts[#sealed_parts + 1] = sealer:update(pieces[#pieces]) .. sealer:final()
        opened[#opened + 1] = opener:update(sealed_parts[#sealed_parts]) .. opener:final()
        local whole = table.concat(pieces)
        assert(table.concat(sealed_parts) == strings.encrypt(whole, KEY) and table.concat(opened) == whole)
      elseif closed then -- the closed stream's last call gave its bytes
        local whole, got = table.concat(pieces), table.concat(opened)
        assert(#table.concat(sealed_parts) == 16 * math.floor((9 + #whole) / 16), "a closed call lost bytes")
        assert(got == whole:sub(1, #got) and #got > #whole - 32, "a closed call lost bytes")
        assert(raised(closed.final, closed):find("it was closed", 1, true))
      end
      right()
    end
  end)
end)

local memory_it = S.it_if(S.CHILDREN and not jit, jit and "LuaJIT allocates with its own allocator"
  or S.NO_CHILDREN, it, pending)

describe("vorsel.strings out of memory", function()
  memory_it("reports a working block or a result string that cannot be had, and leaves the state usable", function()
    -- A result string is its bytes behind the interpreter's header (24
    -- bytes, 32 in Lua 5.5) and an ending zero. Results up to 4096 bytes
    -- are made from the C stack, longer ones from a block of their size,
    -- which in Lua 5.5 (z) is one byte longer and becomes the string itself.
    local header = _VERSION == "Lua 5.5" and 33 or 25
    local z = _VERSION == "Lua 5.5" and 1 or 0
    local memory = "false\tvorsel.strings.%s: not enough memory for a result of %d bytes\n"
    -- { function, text length, the one size refused, what it gives[, how often] }
    -- (decrypt's text is sealed from 1000-byte pieces, so that no block
    -- but its result has the payload's length)
    local cases = {
      { "encrypt", 1000000, 1000016 + z, memory:format("encrypt", 1000016) },     -- the result's block
      { "encrypt", 1000000, 1000016 + z, "true\t1000016\n", 1 }, -- refused once: a collection, another try
      { "encrypt", 1000000, 1000016 + header, z == 1 and "true\t1000016\n"        -- a copy of it: none in 5.5
        or memory:format("encrypt", 1000016) },
      { "encrypt", 4088, 4112 + z, memory:format("encrypt", 4112) },               -- 4112 bytes: a block
      { "decrypt", 1000000, 1000000 + z, memory:format("decrypt", 1000000) },     -- the payload's block
      { "sealer", 1000003, 1000000 + z, memory:format("sealer:update", 1000000) }, -- a stream's, kept open
      { "sealer", 1000003, 1000000 + z, "true\t1000016\n", 1 },
    }
    if _VERSION ~= "Lua 5.1" then -- (there a string table of 512 buckets has 4096 bytes too)
      cases[#cases + 1] = { "encrypt", 4087, 4096, "true\t4096\n" } -- 4096 bytes: no block
    end
    for _, c in ipairs(cases) do
      local out = S.run_child(([[
        local strings = require("vorsel.strings")
        local key, n, kind = "0123456789abcdef", %d, "%s"
        local text = kind == "decrypt" and ("x"):rep(1000) or ("x"):rep(n)
        local fn = kind == "encrypt" and strings.encrypt or kind == "sealer" and function(t, k)
          local s = strings.sealer(k, #t)
          local ok, sealed = pcall(s.update, s, t)
          if not ok then -- refused, the stream is as it was: what it gives now is the whole
            assert(strings.decrypt(s:update(t:sub(1, 500000)) .. s:update(t:sub(500001)) .. s:final(), k) == t)
            error(sealed, 0)
          end
          return sealed .. s:final()
        end or function(t, k)
          local s, parts = strings.sealer(k, n), {}
          for i = 1, n / #t do parts[i] = s:update(t) end
          parts[#parts + 1] = s:final()
          return strings.decrypt(table.concat(parts), k)
        end
        local ok, result = pcall(fn, text, key)
        print(ok, ok and #result or (result:gsub("^[^:]*:%%d+: ", "")))
        print(#strings.decrypt(strings.encrypt("abc", key), key))
      ]]):format(c[2], c[1]),
        "VORSEL_FAIL_MALLOC_SIZE=" .. c[3] .. " VORSEL_FAIL_MALLOC_TIMES=" .. (c[5] or -1)
          .. " LD_PRELOAD=" .. os.getenv("VORSEL_FAILING_MALLOC"))
      assert.are.equal(c[4] .. "3\n", out, c[1] .. " of " .. c[2] .. " bytes, " .. c[3] .. " bytes refused")
    end
  end)
end)

local status = io.open("/proc/self/status")
if status then status:close() end
describe("vorsel.strings and the collector", function()
  -- In Lua 5.5 a large result is its block itself, which the interpreter
  -- does not count as allocated unless the call tells the collector.
  local sanitized = os.getenv("VORSEL_SANITIZED")
  S.it_if(status and _VERSION == "Lua 5.5" and not sanitized, not status and "no /proc/self/status on Windows"
    or sanitized and "the sanitizer's quarantine keeps freed memory resident"
    or "only Lua 5.5 holds results that the collector does not count", it, pending)(
    "keeps the memory of results it has let go of in check", function()
    local function resident()
      local f = assert(io.open("/proc/self/status"))
      local kb = f:read("*a"):match("VmRSS:%s*(%d+)")
      f:close()
      return tonumber(kb) / 1024
    end
    local big = ("x"):rep(1048576)
    collectgarbage()
    local before = resident()
    for _ = 1, 100 do strings.encrypt(big, KEY) end
    assert(resident() - before < 50, "100 results of 1 MiB let go of, and still resident")
  end)
end)
