package = "vorsel"
version = "1.8.0-1"
source = {
   url = "git+https://vorsel.example.org/vorsel.git",
   tag = "v1.8.0",
}
description = {
   summary = "AES-128 sealing of byte tables and strings for Lua 5.1 to 5.5 and LuaJIT",
   detailed = [[
vorsel is a native module for Lua 5.1 to 5.5 and LuaJIT, in C++. It seals
byte tables (Lua arrays of numbers) with AES-128 into a fixed, byte-exact
format, and opens them again: vorsel.encrypt(bytes, key),
vorsel.decrypt(sealed, key), vorsel.version(); vorsel.strings seals
Lua strings in the same format.
]],
   homepage = "https://vorsel.example.org/",
   license = "MIT",
}
dependencies = {
   "lua >= 5.1, < 5.6",
}
build = {
   -- CMake builds and links the C++ correctly; the builtin type does not.
   type = "cmake",
   variables = {
      CMAKE_BUILD_TYPE = "Release",
      CMAKE_INSTALL_PREFIX = "$(PREFIX)",
      LUA_INCDIR = "$(LUA_INCDIR)",
      VORSEL_LUA_LIBDIR = "$(LIBDIR)",
      VORSEL_LUA_DIR = "$(LUADIR)", -- vorsel/bytes.lua
      -- Type definitions for the Lua language server, kept in the rock's
      -- own folder: luarocks show --rock-dir vorsel
      VORSEL_TYPES_DIR = "$(PREFIX)/types",
      VORSEL_TESTS = "OFF",
      VORSEL_BENCH = "OFF",
   },
   -- The `vorsel` command for sealed files.
   install = {
      bin = { vorsel = "binding/command.lua" },
   },
   platforms = {
      windows = {
         variables = {
            -- A DLL must name the Lua library it imports from: LuaRocks' own.
            LUA_LIBRARIES = "$(LUA_LIBDIR)/$(LUALIB)",
         },
      },
   },
}
