-- encrypt and decrypt from Lua: checks and their order, the sealed layout,
-- round trips, element conversion, and the failure paths.
local S = require("support")
local vorsel = require("vorsel")
local MSG = S.MSG
local unpack = table.unpack or unpack
local encrypt, decrypt = vorsel.encrypt, vorsel.decrypt

local function copy(t)
  local c = {}
  for k, v in pairs(t) do c[k] = v end
  return c
end

-- AES-128 of one 16-byte block under key k, made with encrypt alone: with a
-- 7-byte filler, the payload's next 16 bytes fill the second block exactly.
local function sealed_block(plain, k)
  local payload = { 0, 0, 0, 0, 0, 0, 0 }
  for i = 1, 16 do payload[7 + i] = plain[i] end
  local sealed = encrypt(payload, k)
  local block = {}
  for i = 1, 16 do block[i] = sealed[16 + i] end
  return block
end

local MAGIC = S.bytes_of("KAVRO   ")

local function frame_block(pad, fill)
  local b = copy(MAGIC)
  b[9] = pad
  for i = 10, 16 do b[i] = fill end
  return b
end

describe("argument checks", function()
  local k = S.key()

  it("need exactly two arguments, with one message for both functions", function()
    for _, fn in ipairs({ encrypt, decrypt }) do
      S.raises(MSG.args, fn)
      S.raises(MSG.args, fn, { 1 })
      S.raises(MSG.args, fn, { 1 }, k, nil)
      S.raises(MSG.args, fn, { 1 }, k, k)
    end
  end)

  it("come in order: both types, then the input's length, then the key's", function()
    local k15, k17 = S.range(15), S.range(17)
    local cases = {
      { MSG.input, "abc", "abc" },
      { MSG.input, "abc", k },
      { MSG.input, nil, k },
      { MSG.input, 5, k15 },
      { MSG.key, {}, "abc" },
      { MSG.key, { 1 }, nil },
      { MSG.input, {}, k15 },
      { MSG.input, {}, k },
      { MSG.key, { 1 }, k15 },
      { MSG.key, { 1 }, k17 },
      { MSG.key, { 1 }, {} },
    }
    for _, fn in ipairs({ encrypt, decrypt }) do
      for _, c in ipairs(cases) do
        S.raises(c[1], fn, c[2], c[3])
      end
    end
  end)

  it("limit encrypt's input to 2^28 elements", function()
    S.raises(MSG.input, encrypt, S.table_with_length(S.MAX_INPUT + 1), k)
    -- 2^28 passes the input test: the key test comes next.
    S.raises(MSG.key, encrypt, S.table_with_length(S.MAX_INPUT), S.range(15))
    -- Lengths are compared at full width: 2^32 + 1 is not 1 (a border Lua
    -- 5.3 and later report).
    if math.type then
      S.raises(MSG.input, encrypt, S.table_with_length(2 ^ 32 + 1), k)
      S.raises(MSG.input, decrypt, S.table_with_length(2 ^ 32 + 16), k)
    end
  end)

  it("let decrypt take every length encrypt produces, up to 2^28 + 16", function()
    S.raises(MSG.input, decrypt, S.table_with_length(S.MAX_INPUT + 17), k)
    S.raises(MSG.key, decrypt, S.table_with_length(S.MAX_INPUT + 16), S.range(15))
  end)
end)

S.it_if(S.HOST_ERRORS, "the module raises its errors itself in this build", it, pending)(
  "raises every error through the host's luaL_errorlevel, the message unchanged", function()
    local registry = debug.getregistry()
    local before = registry.vorsel_host_errors or 0
    local k = S.key()
    local calls = {
      { MSG.args, encrypt }, { MSG.input, encrypt, "x", k }, { MSG.key, decrypt, { 1 }, "k" },
      { MSG.input, decrypt, {}, k }, { MSG.key, encrypt, { 1 }, { 1 } },
      { MSG.format, decrypt, S.range(32), k },
      { "crypto.version: invalid number of arguments (should be none)", vorsel.version, 1 },
    }
    for _, c in ipairs(calls) do
      local ok, err = pcall(c[2], unpack(c, 3))
      assert.is_false(ok)
      assert.are.equal("[host] " .. c[1], err)
    end
    assert.are.equal(before + #calls, registry.vorsel_host_errors)
  end)

describe("encrypt", function()
  local k = S.key(1)

  it("pads to whole blocks: n + 9 + P elements", function()
    local expected = { [1] = 16, [7] = 16, [8] = 32, [23] = 32, [24] = 48 }
    for n, len in pairs(expected) do
      assert.are.equal(len, #encrypt(S.range(n), k), "n = " .. n)
    end
    for n = 1, 100 do
      local len = #encrypt(S.range(n), k)
      assert.are.equal(0, len % 16)
      assert.is_true(len - n >= 9 and len - n <= 24)
    end
  end)

  it("returns a new table of integers 0..255 and leaves the input untouched", function()
    local input = { 1, "2", 3.5, -4, true }
    local before = copy(input)
    local a, b = encrypt(input, k), encrypt(input, k)
    assert.are.same(before, input)
    assert.are_not.equal(a, b)
    assert.are.same(a, b)
    for i = 1, #a do
      assert.are.equal("number", type(a[i]))
      assert.is_true(a[i] >= 0 and a[i] <= 255 and a[i] % 1 == 0)
    end
  end)

  it("gives equal sealed blocks for equal plain blocks under one key", function()
    local payload = S.range(7)
    for i = 8, 7 + 32 do payload[i] = 42 end
    local sealed = encrypt(payload, k)
    for i = 1, 16 do
      assert.are.equal(sealed[16 + i], sealed[32 + i])
    end
  end)
end)

describe("element to byte", function()
  local k = S.key(2)

  local function through(values, n)
    return decrypt(encrypt(values, k), k), n
  end

  -- Each element at every place in a batch of sixteen and after the last
  -- batch: the edge values preceded by 0 to 16 others.
  local function at_every_place(values, expected)
    for shift = 0, 16 do
      local input, want = {}, {}
      for i = 1, shift do input[i], want[i] = i, i end
      for i = 1, #values do input[shift + i], want[shift + i] = values[i], expected[i] end
      assert.are.same(want, (through(input)), "after " .. shift .. " elements")
    end
  end

  it("truncates toward zero and keeps the low 8 bits of 32-bit integers", function()
    at_every_place({ 65, 255.9, 256, 257, -1, -0.5, 2147483647, 2147483647.5, 4294967295,
      -2147483648, -2147483648.5, -2147483649, 2 ^ 31, -2 ^ 31, 1 / 0, -1 / 0, 0 / 0, 1e300, -255.5, 2 ^ 32 + 7 },
      { 65, 255, 0, 1, 255, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0 })
  end)

  it("converts numeric strings as Lua does and everything else to 0", function()
    at_every_place({ "12", "0x10", " 7 ", "abc", "", true, false, {}, { 5 }, print, "300", "4294967295" },
      { 12, 16, 7, 0, 0, 0, 0, 0, 0, 0, 44, 0 })
  end)

  it("reads holes as 0 and ignores metatables", function()
    local t = S.table_with_length(5) -- keys 1, 2, 4 and 5: 3 is a hole
    t[1], t[2], t[4], t[5] = 65, "66", true, 300
    assert.are.equal(5, #t)
    assert.are.same({ 65, 66, 0, 0, 44 }, (through(t)))
    local filled = S.table_with_length(5)
    filled[1], filled[2], filled[4], filled[5] = 1, 2, 4, 5
    setmetatable(filled, { __index = function() return 99 end })
    assert.are.same({ 1, 2, 0, 4, 5 }, (through(filled)))
  end)

  S.it_if(math.type, "no integer subtype before Lua 5.3", it, pending)(
    "treats integers like any number, and gives integers back", function()
      local int = load("return { 1 << 31, 1 << 53, -1, 255, 256, -(1 << 31), (1 << 31) - 1, 7 // 2 }")()
      assert.are.equal("integer", math.type(int[1]))
      local back = through(int)
      assert.are.same({ 0, 0, 255, 255, 0, 0, 255, 3 }, back)
      for i = 1, #back do assert.are.equal("integer", math.type(back[i])) end
      for _, v in ipairs(encrypt(int, k)) do assert.are.equal("integer", math.type(v)) end
    end)

  it("takes lengths as raw borders, whatever __len says", function()
    local input = setmetatable(S.range(5), { __len = function() return 3 end })
    assert.are.same(S.range(5), (through(input)))
    local empty = setmetatable({}, { __len = function() return 5 end })
    S.raises(MSG.input, encrypt, empty, k)
  end)

  it("applies to key elements too: 256 acts as 0", function()
    local zero, wrapped, text = S.range(16), S.range(16), S.range(16)
    zero[1], wrapped[1], text[1] = 0, 256, "0"
    local input = S.range(20)
    assert.are.same(encrypt(input, zero), encrypt(input, wrapped))
    assert.are.same(encrypt(input, zero), encrypt(input, text))
    local keyed = setmetatable({}, { __index = function() return 7 end, __len = function() return 16 end })
    S.raises(MSG.key, encrypt, input, keyed)
  end)
end)

describe("decrypt", function()
  local k = S.key(3)

  it("gives back every input, over many lengths and keys", function()
    math.randomseed(12345)
    local lengths = {}
    for n = 1, 80 do lengths[#lengths + 1] = n end
    for _ = 1, 20 do lengths[#lengths + 1] = math.random(81, 5000) end
    for _, n in ipairs(lengths) do
      local key = S.random_bytes(16)
      local input = S.random_bytes(n)
      assert.are.same(input, decrypt(encrypt(input, key), key))
    end
  end)

  it("fails with the format message under another key or an altered first block", function()
    local sealed = encrypt(S.range(40), k)
    local other = copy(k)
    other[16] = (other[16] + 1) % 256
    S.raises(MSG.format, decrypt, sealed, other)
    for i = 1, 16 do
      local altered = copy(sealed)
      altered[i] = (altered[i] + 128) % 256
      S.raises(MSG.format, decrypt, altered, k)
    end
  end)

  it("takes only whole blocks: shorter or ragged tables are a format error", function()
    for _, n in ipairs({ 1, 8, 9, 12, 15 }) do
      local plain = copy(MAGIC)
      plain[9] = 0
      for i = 10, n do plain[i] = 1 end
      for i = n + 1, #plain do plain[i] = nil end
      S.raises(MSG.format, decrypt, plain, k)
    end
    local sealed = encrypt(S.range(30), k)
    for _, extra in ipairs({ 1, 7, 15 }) do
      local ragged = copy(sealed)
      for i = 1, extra do ragged[#sealed + i] = 32 end
      S.raises(MSG.format, decrypt, ragged, k)
    end
  end)

  it("cuts off the padding unexamined and accepts pad counts up to 15", function()
    assert.are.same({}, decrypt(sealed_block(frame_block(15, 65), k), k))
    assert.are.same({}, decrypt(sealed_block(frame_block(7, 65), k), k))
    assert.are.same({ 65 }, decrypt(sealed_block(frame_block(6, 65), k), k))
    assert.are.same({ 65, 65, 65, 65, 65 }, decrypt(sealed_block(frame_block(2, 65), k), k))
    S.raises(MSG.format, decrypt, sealed_block(frame_block(16, 32), k), k)
  end)

  it("returns the seven payload bytes of a one-block frame with pad count 0", function()
    local b = frame_block(0, 66)
    assert.are.same({ 66, 66, 66, 66, 66, 66, 66 }, decrypt(sealed_block(b, k), k))
  end)
end)

-- These run a child interpreter under ulimit -v or with a malloc that fails
-- on purpose.
local memory_it = S.it_if(S.CHILDREN, S.NO_CHILDREN, it, pending)
local failing_malloc = os.getenv("VORSEL_FAILING_MALLOC")

describe("memory", function()
  memory_it("reports a large result table that cannot be had with the memory message", function()
    local out = S.run_child([[
      local S = dofile("support.lua")
      local v = require("vorsel")
      print(pcall(v.encrypt, S.table_with_length(2^24), S.key()))
      print(pcall(v.encrypt, S.table_with_length(2^28), S.key()))
      -- The state is still usable afterwards.
      print(#v.decrypt(v.encrypt({1, 2, 3}, S.key()), S.key()))
    ]], "ulimit -v 120000;")
    -- No LuaJIT table holds 2^28 + 16 elements: refused before any work.
    assert.are.equal(("false\t%s\n"):rep(2):format(MSG.memory, MSG.memory) .. "3\n", out)
  end)

  S.it_if(S.CHILDREN and not jit, jit and "LuaJIT allocates its tables with its own allocator"
    or S.NO_CHILDREN, it, pending)(
    "passes the runtime's own memory error through for results up to 65536 elements, not above", function()
      -- The one block refused is the result's array part: 16-byte values,
      -- or in Lua 5.5 a 9-byte value and tag each behind a 4-byte length
      -- hint. The inputs are sparse, so that no other block has that size.
      local function array_bytes(n) return _VERSION == "Lua 5.5" and n * 9 + 4 or n * 16 end
      -- { input length, result length, what the call raises }
      for _, c in ipairs({ { 1200, 1216, "not enough memory" }, { 65527, 65536, "not enough memory" },
        { 65543, 65552, MSG.memory } }) do
        local out = S.run_child(([[
          local S = dofile("support.lua")
          local v = require("vorsel")
          print(pcall(v.encrypt, S.table_with_length(%d), S.key()))
          print(#v.decrypt(v.encrypt({1, 2, 3}, S.key()), S.key()))
        ]]):format(c[1]), "VORSEL_FAIL_MALLOC_SIZE=" .. array_bytes(c[2]) .. " LD_PRELOAD=" .. (failing_malloc or ""))
        assert.are.equal("false\t" .. c[3] .. "\n3\n", out, "a result of " .. c[2])
      end
    end)

  S.it_if(S.CHILDREN and not jit, jit and "LuaJIT allocates its tables with its own allocator"
    or S.NO_CHILDREN, it, pending)(
    "tells LuaJIT by what no script can set: a jit library put in place does not limit tables", function()
      -- A result of 2^28 + 16 elements, which only LuaJIT refuses before it
      -- asks for the table's array part.
      local array_bytes = (S.MAX_INPUT + 16) * (_VERSION == "Lua 5.5" and 9 or 16) + (_VERSION == "Lua 5.5" and 4 or 0)
      local out = S.run_child([[
        local S = dofile("support.lua")
        package.loaded.jit = { version = "LuaJIT 2.1.0-beta3" }
        jit = package.loaded.jit
        print(pcall(require("vorsel").encrypt, S.table_with_length(2^28), S.key()))
      ]], "VORSEL_FAIL_MALLOC_SAY=1 VORSEL_FAIL_MALLOC_SIZE=" .. string.format("%.0f", array_bytes)
        .. " LD_PRELOAD=" .. (failing_malloc or ""))
      -- (Lua 5.2 and later ask again after a full collection.)
      local rest, refusals = out:gsub("malloc refused\n", "")
      assert.are.equal("false\t" .. MSG.memory .. "\n", rest)
      assert.is_true(refusals > 0, "the table was never asked for")
    end)

  S.it_if(jit, "only LuaJIT's tables stop short of 2^28 + 16 elements", it, pending)(
    "refuses at once a result that no LuaJIT table can hold", function()
      local k = S.key()
      S.raises(MSG.memory, encrypt, S.table_with_length(S.MAX_INPUT), k)
      local sealed = S.table_with_length(S.MAX_INPUT + 16)
      for i, v in ipairs(encrypt(S.range(7), k)) do sealed[i] = v end -- pad count 0
      assert.are.equal(S.MAX_INPUT + 16, #sealed)
      S.raises(MSG.memory, decrypt, sealed, k)
    end)

  memory_it("rejects an input over the limit, or a bad header, before allocating anything", function()
    -- Under this limit a result or buffer of that size could not be made:
    -- the input message shows that neither was attempted.
    local out = S.run_child([[
      local S = dofile("support.lua")
      local v = require("vorsel")
      print(pcall(v.encrypt, S.table_with_length(2^28 + 1), S.key()))
      print(pcall(v.decrypt, S.table_with_length(2^28 + 17), S.key()))
      -- Decrypt reads the header from the first block before it allocates.
      print(pcall(v.decrypt, S.table_with_length(2^28 + 16), S.key()))
    ]], "ulimit -v 120000;")
    assert.are.equal(("false\t%s\n"):rep(3):format(MSG.input, MSG.input, MSG.format), out)
  end)
end)
