-- vorsel.strings against luaossl's AES-128-ECB (padding off), the same
-- sealed layout built by hand for luaossl (run from the project's root):
--   <interpreter> bench/strings_ossl.lua <folder holding vorsel/strings.so> mem
--     64 MiB in memory, each direction, interleaved, CPU time (with the
--     collection of what the call left), median of 7;
--   <interpreter> bench/strings_ossl.lua <folder> job vorsel|luaossl <file> <out>
--     a whole file job in a fresh process: read, seal, write, read back,
--     open, compare; prints CPU seconds and peak RSS (MB).
package.cpath = (arg[1] or "build") .. "/?.so;" .. package.cpath
local strings = require("vorsel.strings")
local cipher = require("openssl.cipher")
local KEY = "0123456789abcdef"
local name = jit and "luajit" or (_VERSION:gsub("Lua ", "lua"))

local function ossl(decrypting, s)
  local c = cipher.new("AES-128-ECB")
  if decrypting then c:decrypt(KEY, nil, false) else c:encrypt(KEY, nil, false) end
  return c:final(s)
end

-- The sealed layout with luaossl: magic, pad count, text, spaces.
local function ossl_seal(text)
  local rest = (#text + 9) % 16
  local pad = rest == 0 and 0 or 16 - rest
  return ossl(false, "KAVRO   " .. string.char(pad) .. text .. (" "):rep(pad))
end

local function ossl_open(sealed)
  local plain = ossl(true, sealed)
  assert(plain:sub(1, 8) == "KAVRO   ", "not sealed data")
  return plain:sub(10, #plain - plain:byte(9))
end

local function peak_mb()
  local f = io.open("/proc/self/status")
  local kb = f and f:read("*a"):match("VmHWM:%s*(%d+)")
  if f then f:close() end
  return kb and tonumber(kb) / 1024 or 0
end

if arg[2] == "job" then
  local seal = arg[3] == "vorsel" and function(t) return strings.encrypt(t, KEY) end or ossl_seal
  local open = arg[3] == "vorsel" and function(s) return strings.decrypt(s, KEY) end or ossl_open
  local t0 = os.clock()
  local f = assert(io.open(arg[4], "rb"))
  local text = f:read("*a")
  f:close()
  f = assert(io.open(arg[5], "wb"))
  f:write(seal(text))
  f:close()
  f = assert(io.open(arg[5], "rb"))
  local back = open(f:read("*a"))
  f:close()
  assert(back == text, "the file came back changed")
  print(string.format("%s %s: %.3f s CPU, %.0f MB peak", name, arg[3], os.clock() - t0, peak_mb()))
  return
end

local N = 64 * 1048576
local text = ("0123456789abcdefghijklmnopqrstuv"):rep(N / 32)
local framed = text:sub(1, N - 16) -- whole blocks for luaossl
local sealed, ossl_sealed = strings.encrypt(framed, KEY), ossl(false, framed)
-- A call's CPU time with the freeing of what it left behind: a working
-- buffer that the call itself frees, a box that the collector frees, and
-- the result.
local function seconds(fn, ...)
  collectgarbage()
  local t0 = os.clock()
  fn(...)
  collectgarbage()
  return os.clock() - t0
end
local function median(xs)
  table.sort(xs)
  return xs[(#xs + 1) / 2]
end
local enc, dec = {}, {}
for r = 1, 7 do
  enc[r] = seconds(strings.encrypt, framed, KEY) / seconds(ossl, false, framed)
  dec[r] = seconds(strings.decrypt, sealed, KEY) / seconds(ossl, true, ossl_sealed)
end
print(string.format("%s, 64 MiB: vorsel.strings encrypt %.2fx luaossl, decrypt %.2fx luaossl (CPU time, median of 7)",
  name, median(enc), median(dec)))
