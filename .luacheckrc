-- luacheck: every Lua file of the project (tests, examples, bench).
std = "max" -- the same files run on Lua 5.1 to 5.4 and LuaJIT
max_line_length = 120
exclude_files = { "build", "build-*", "build.luarocks" }

files["tests/lua"] = { std = "+busted" }
files["bench"] = { read_globals = { "jit" } }
files["tests/lua/large_test.lua"] = { std = "+busted" }
-- Type definitions: declarations with empty bodies.
files["types/vorsel.lua"] = { unused_args = false, globals = { "vorsel" } }
files["types/vorsel/bytes.lua"] = { unused_args = false }
files["types/vorsel/strings.lua"] = { unused_args = false }
