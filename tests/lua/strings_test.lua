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
    assert.are.same({ "decrypt", "encrypt" }, fields)
    assert.is_nil(rawget(_G, "vorsel.strings") or vorsel.strings)
  end)
end)

describe("vorsel.strings and Lua code on the stack", function()
  local text = text_of(5000) -- beyond the C stack's buffer
  local sealed = strings.encrypt(text, KEY)

  it("keeps a debug hook through a call, and its results, but shows it no helper to tamper with", function()
    local helpers = 0
    local function hook()
      local f = debug.getinfo(2, "f").func
      local ours = f == strings.encrypt or f == strings.decrypt or f == debug.sethook or f == debug.gethook
      if debug.getinfo(2, "S").what == "C" and not ours then helpers = helpers + 1 end
    end
    debug.sethook(hook, "cr")
    local a, b = strings.encrypt(text, KEY), strings.decrypt(sealed, KEY)
    local now = debug.gethook()
    debug.sethook()
    assert(now == hook and a == sealed and b == text)
    assert.are.equal(0, helpers)
  end)

  -- Sets the collector's pause and step multiplier; returns the old ones.
  local function collector(pause, stepmul)
    if _VERSION == "Lua 5.5" then
      return collectgarbage("param", "pause", pause), collectgarbage("param", "stepmul", stepmul)
    end
    return collectgarbage("setpause", pause), collectgarbage("setstepmul", stepmul)
  end

  it("gives finalizers nothing to misuse: the helper they find copies nothing for them", function()
    -- Finalizers run while results are made record every C function on the
    -- stack that Lua cannot reach otherwise (the helper) and its first
    -- slot; called again after its call, with that or junk, it gives nothing.
    local known, found = {}, {}
    for _, v in pairs(_G) do
      known[v] = true
      for _, f in pairs(type(v) == "table" and v or {}) do known[f] = true end
    end
    local function record()
      for level = 2, 12 do
        local info = debug.getinfo(level, "fS")
        if not info then break end
        if info.what == "C" and not known[info.func] then
          found[#found + 1] = { info.func, select(2, debug.getlocal(level, 1)) or false }
        end
      end
    end
    -- A collector that steps at nearly every allocation, until finalizers
    -- have met the helper at work a few times.
    local pause, stepmul = collector(0, 10)
    for _ = 1, 3000 do
      if #found >= 8 then break end
      for _ = 1, 20 do
        if newproxy then getmetatable(newproxy(true)).__gc = record else setmetatable({}, { __gc = record }) end
      end
      assert(strings.encrypt(text, KEY) == sealed and strings.decrypt(sealed, KEY) == text)
    end
    collector(pause, stepmul)
    -- (Lua 5.2 runs no finalizer while a C function makes a string.)
    assert(#found > 0 or _VERSION == "Lua 5.2", "no finalizer met the helper")
    for _, f in ipairs(found) do
      for _, arg in ipairs({ f[2], 0, "x" }) do
        local ok, result = pcall(f[1], arg)
        assert(not ok or result == nil, "a helper gave a result after its call had ended")
      end
    end
  end)
end)

local memory_it = S.it_if(S.CHILDREN and not jit, jit and "LuaJIT allocates with its own allocator"
  or S.NO_CHILDREN, it, pending)

describe("vorsel.strings out of memory", function()
  memory_it("reports a working block or a result string that cannot be had, and leaves the state usable", function()
    -- A result string is its bytes behind the interpreter's header (24
    -- bytes, 32 in Lua 5.5) and an ending zero. Results up to 4096 bytes
    -- are made from the C stack, longer ones from a block of their size.
    local header = _VERSION == "Lua 5.5" and 33 or 25
    local memory = "false\tvorsel.strings.encrypt: not enough memory for a result of %d bytes\n"
    -- { text length, the one size refused, what encrypt gives }
    local cases = {
      { 1000000, 1000016, memory:format(1000016) },         -- the working block
      { 1000000, 1000016 + header, memory:format(1000016) }, -- the result string
      { 4087, 4096, "true\t4096\n" },                        -- 4096 bytes: no block
      { 4088, 4112, memory:format(4112) },                   -- 4112 bytes: a block
    }
    for _, c in ipairs(cases) do
      local out = S.run_child(([[
        local strings = require("vorsel.strings")
        local ok, sealed = pcall(strings.encrypt, ("x"):rep(%d), "0123456789abcdef")
        print(ok, ok and #sealed or sealed)
        print(#strings.decrypt(strings.encrypt("abc", "0123456789abcdef"), "0123456789abcdef"))
      ]]):format(c[1]), "VORSEL_FAIL_MALLOC_SIZE=" .. c[2] .. " LD_PRELOAD=" .. os.getenv("VORSEL_FAILING_MALLOC"))
      assert.are.equal(c[3] .. "3\n", out, "text of " .. c[1] .. ", " .. c[2] .. " bytes refused")
    end
  end)
end)
