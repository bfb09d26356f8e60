-- Shared helpers for the Lua tests.
local assert = require("luassert")

local support = {}

support.MSG = {
  args = "crypto.encrypt: invalid number of arguments (should be 2)",
  input = "crypto.encrypt: invalid argument #1 (input)",
  key = "crypto.encrypt: invalid argument #2 (key)",
  memory = "crypto.encrypt: insufficient memory",
  format = "crypto.encrypt: invalid encrypted data format",
}

support.MAX_INPUT = 268435456 -- 2^28

support.WINDOWS = package.config:sub(1, 1) == "\\"
support.ROOT = "../.." -- the tests run in tests/lua
support.BUILD_DIR = os.getenv("VORSEL_BUILD_DIR") or "../../build"
support.MODULE_FILE = support.BUILD_DIR .. (support.WINDOWS and "/vorsel.dll" or "/vorsel.so")
-- Where require finds the freshly built module first.
support.CPATH = support.BUILD_DIR .. (support.WINDOWS and "/?.dll;" or "/?.so;")

-- The test file's `it` where the platform can run the test; elsewhere its
-- `pending`, with the reason in the test's name. (busted's functions live
-- in the test file's environment, so the file passes them.)
function support.it_if(condition, reason, it, pending)
  if condition then return it end
  return function(name) pending(name .. " [skipped here: " .. reason .. "]") end
end

-- A module built for a host's own luaL_errorlevel, tested with our
-- stand-in host library: every message must come marked "[host] " and
-- then the position of the caller, if any, as luaL_error gives it.
support.HOST_ERRORS = os.getenv("VORSEL_HOST_ERRORS") ~= nil

-- Children under ulimit -v, a preloaded malloc: Linux without sanitizers.
support.CHILDREN = not support.WINDOWS and os.getenv("VORSEL_FAILING_MALLOC") ~= nil
  and not os.getenv("VORSEL_SANITIZED") and not support.HOST_ERRORS
support.NO_CHILDREN = support.WINDOWS and "no ulimit -v or LD_PRELOAD on Windows"
  or os.getenv("VORSEL_SANITIZED") and "a child under ulimit -v cannot hold the sanitizer's shadow memory"
  or support.HOST_ERRORS and "the children would not load the stand-in host library"
  or os.getenv("VORSEL_EMULATED") and "qemu-user runs no child under ulimit -v or with a preloaded malloc"
  or "this platform runs no child interpreters with a failing malloc"

-- The module's message in an error value: the value itself, or, with the
-- host's function, what follows its mark and position (nil without them).
function support.message_of(err)
  if not support.HOST_ERRORS or type(err) ~= "string" then return err end
  local rest = err:match("^%[host%] (.*)$")
  return rest and (rest:match("^[^:]+:%d+: (.*)$") or rest)
end

-- Asserts that fn(...) raises exactly the message.
function support.raises(message, fn, ...)
  local ok, err = pcall(fn, ...)
  assert(not ok, "expected the error: " .. message)
  assert.are.equal(message, support.message_of(err))
end

function support.key(seed)
  local k = {}
  for i = 1, 16 do k[i] = (i * 17 + (seed or 0) * 31) % 256 end
  return k
end

function support.range(n, first)
  local t = {}
  for i = 1, n do t[i] = ((first or 0) + i) % 256 end
  return t
end

function support.random_bytes(n)
  local t = {}
  for i = 1, n do t[i] = math.random(0, 255) end
  return t
end

function support.bytes_of(s)
  return { s:byte(1, -1) }
end

function support.string_of(t)
  local parts = {}
  for i = 1, #t do parts[i] = string.char(t[i]) end
  return table.concat(parts)
end

-- Hex text of a byte table or a string.
function support.hex(t)
  local s = type(t) == "string" and t or support.string_of(t)
  return (s:gsub(".", function(c) return string.format("%02x", c:byte()) end))
end

function support.unhex(h)
  return (h:gsub("%x%x", function(x) return string.char(tonumber(x, 16)) end))
end

-- A table of a few dozen keys whose length is n (tests/lua/border.lua).
support.table_with_length = require("border")

-- Runs a Lua chunk in a child interpreter (the one running this test) and
-- returns what it printed. `prefix` is shell put before the command.
function support.run_child(chunk, prefix)
  local interp = os.getenv("VORSEL_LUA") or "lua5.1"
  local file = os.tmpname()
  local f = assert(io.open(file, "w"))
  f:write("package.cpath = '", support.CPATH, "' .. package.cpath\n", chunk)
  f:close()
  local pipe = assert(io.popen((prefix or "") .. " " .. interp .. " " .. file .. " 2>&1"))
  local out = pipe:read("*a")
  pipe:close()
  os.remove(file)
  return out
end

return support
