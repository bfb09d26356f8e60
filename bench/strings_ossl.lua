-- vorsel.strings against luaossl's AES-128-ECB (padding off) on a whole
-- file job, the same sealed layout built by hand for luaossl (run from the
-- project's root; bench/strings_floor.lua has the calls in memory):
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

do
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
