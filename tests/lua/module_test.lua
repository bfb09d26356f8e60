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
