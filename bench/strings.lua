-- vorsel.bytes against the module on the same data: from_string and
-- to_string of 1 MiB as ratios to encrypt of the same table, the median of
-- interleaved rounds (run from the project's root).
--
--   <interpreter> bench/strings.lua <folder holding vorsel.so>
package.cpath = (arg[1] or "build") .. "/?.so;" .. package.cpath
package.path = "binding/?.lua;" .. package.path
local vorsel = require("vorsel")
local bytes = require("vorsel.bytes")

local N = 1048576
local parts = {}
for i = 0, 255 do parts[#parts + 1] = string.char((i * 31) % 256) end
local text = table.concat(parts):rep(N / 256)
local t = bytes.from_string(text)
local key = bytes.from_string("0123456789abcdef")

local function seconds(fn, a, b)
  collectgarbage()
  local t0 = os.clock()
  for _ = 1, 3 do fn(a, b) end
  return (os.clock() - t0) / 3
end

local function median(xs) -- of an odd count
  table.sort(xs)
  return xs[(#xs + 1) / 2]
end

local from, to, enc = {}, {}, {}
for r = 1, 9 do
  local e = seconds(vorsel.encrypt, t, key)
  from[r] = seconds(bytes.from_string, text) / e
  to[r] = seconds(bytes.to_string, t) / e
  enc[r] = e * 1e9 / N
end
print(string.format("%s, 1 MiB: from_string %.2fx encrypt, to_string %.2fx encrypt (encrypt %.1f ns/B)",
  jit and "luajit" or (_VERSION:gsub("Lua ", "lua")), median(from), median(to), median(enc)))
