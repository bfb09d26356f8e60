-- luacheck: every Lua file of the project (tests, examples, bench).
std = "lua51"
max_line_length = 120
exclude_files = { "build", "build-*", "build.luarocks" }

files["tests/lua"] = { std = "+busted" }
files["bench"] = { read_globals = { "jit" } }
files["tests/lua/large_test.lua"] = { std = "+busted" }
