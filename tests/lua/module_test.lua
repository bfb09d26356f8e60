-- The module's entry, its table and version().
local S = require("support")
local VERSION_ARGS = "crypto.version: invalid number of arguments (should be none)"

describe("require 'vorsel'", function()
  local vorsel = require("vorsel")

  it("returns the table it also publishes as a global and in package.loaded", function()
    assert.are.equal("table", type(vorsel))
    assert.are.equal(vorsel, package.loaded.vorsel)
    assert.are.equal(vorsel, _G.vorsel)
  end)

  it("holds exactly version, encrypt and decrypt", function()
    local names = {}
    for k, v in pairs(vorsel) do
      assert.are.equal("function", type(v))
      names[#names + 1] = k
    end
    table.sort(names)
    assert.are.same({ "decrypt", "encrypt", "version" }, names)
  end)

  it("reuses the same table when the entry runs again and restores its fields", function()
    local entry = assert(package.loadlib(S.MODULE_FILE, "luaopen_vorsel"))
    vorsel.version = nil
    local again = entry()
    assert.are.equal(vorsel, again)
    assert.are.equal(vorsel, package.loaded.vorsel)
    assert.are.equal("function", type(vorsel.version))
    assert.matches("Lua Library for Crypto v1.2", vorsel.version(), 1, true)
  end)

  it("registers as Lua 5.1's luaL_register does, on every version", function()
    local entry = assert(package.loadlib(S.MODULE_FILE, "luaopen_vorsel"))
    finally(function() _G.vorsel, package.loaded.vorsel = vorsel, vorsel end)
    -- { global before, package.loaded before, the table expected (or the error), global after }
    local global, loaded = {}, {}
    local cases = {
      { global, nil, global, global },    -- a global table is taken, and stored in package.loaded
      { nil, loaded, loaded, nil },       -- a package.loaded table is taken; no global is made
      { global, loaded, loaded, global }, -- package.loaded first
      { nil, nil, "new", "new" },         -- else a new table, in both
      { 42, nil, "name conflict for module 'vorsel'" },
      { "x", 7, "name conflict for module 'vorsel'" },
    }
    for n, c in ipairs(cases) do
      _G.vorsel, package.loaded.vorsel = c[1], c[2]
      local ok, result = pcall(entry)
      if type(c[3]) == "string" and c[3] ~= "new" then
        assert.is_false(ok, "case " .. n)
        -- (raised as luaL_register raises it, never through a host's function)
        assert.are.equal(c[3], result, "case " .. n)
      else
        assert.is_true(ok, result)
        assert.are.equal(c[3] == "new" and result or c[3], result, "case " .. n)
        assert.are.equal(result, package.loaded.vorsel, "case " .. n)
        assert.are.equal(c[4] == "new" and result or c[4], _G.vorsel, "case " .. n)
        assert.are.equal("function", type(result.encrypt), "case " .. n)
      end
    end
  end)
end)

local windows_it = S.it_if(S.WINDOWS, "a Windows path needs Windows", it, pending)
windows_it("loads through package.loadlib from a path with backslashes", function()
  local path = S.MODULE_FILE:gsub("/", "\\")
  local entry = assert(package.loadlib(path, "luaopen_vorsel"))
  assert.are.equal(require("vorsel"), entry())
  local missing, err = package.loadlib(path, "luaopen_nothing")
  assert.is_nil(missing)
  assert.is_string(err)
end)

describe("version()", function()
  local vorsel = require("vorsel")

  it("returns the banner: newline, title and notice, newline, address, newline", function()
    local banner = vorsel.version()
    local _, newlines = banner:gsub("\n", "")
    assert.are.equal(3, newlines)
    local title, address = banner:match("^\n([^\n]+)\n([^\n]+)\n$")
    assert.is_not_nil(title)
    assert.are.equal("Lua Library for Crypto v1.2 ", title:sub(1, 28))
    assert.is_true(#title > 28, "a notice follows the title")
    assert.is_true(#address > 0)
  end)

  it("returns the same text every time", function()
    assert.are.equal(vorsel.version(), vorsel.version())
  end)

  it("rejects any argument with the exact message, nil and method calls included", function()
    local calls = {
      function() return vorsel.version(nil) end,
      function() return vorsel:version() end,
      function() return vorsel.version(1, 2, 3) end,
      function() return vorsel.version("") end,
    }
    for _, call in ipairs(calls) do
      local ok, err = pcall(call)
      assert.is_false(ok)
      assert.are.equal(VERSION_ARGS, S.message_of(err))
    end
  end)
end)
