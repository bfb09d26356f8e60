-- vorsel.strings against the floor and luaossl at 16 KiB, 1 MiB and 64 MiB
-- (run from the project's root):
--   <interpreter> bench/strings_floor.lua <folder of vorsel/strings.so> <folder of vorsel_floor.so>
--   <interpreter> bench/strings_floor.lua <folders...> peak floor|vorsel|luaossl
--     in a fresh process, what one 64 MiB encrypt raises the peak
--     resident memory by, against its result's size.
-- The floor (bench/floor.cpp) returns one new string made from its
-- argument's bytes. No string equal to a result is alive while it is made
-- (Lua 5.1 and LuaJIT intern every string: an equal live string turns the
-- making into a comparison): each timing runs over distinct inputs, 32 MiB
-- of them, and a full collection ends it, freeing its results before the
-- next. decrypt runs after the texts are gone. luaossl ciphers the same
-- bytes (whole blocks, padding off) without the framing. CPU time per call,
-- with the collection, median of 7 interleaved rounds; minor page faults
-- per call from /proc/self/stat.
package.cpath = arg[1] .. "/?.so;" .. arg[2] .. "/?.so;" .. package.cpath
local strings = require("vorsel.strings")
local floor = require("vorsel_floor")
local has_ossl, cipher = pcall(require, "openssl.cipher")
local KEY = "0123456789abcdef"
local name = jit and "luajit" or (_VERSION:gsub("Lua ", "lua"))

local function ossl(decrypting, s)
  local c = cipher.new("AES-128-ECB")
  if decrypting then c:decrypt(KEY, nil, false) else c:encrypt(KEY, nil, false) end
  return c:final(s)
end
local FNS = {
  encrypt = {
    floor = floor.copy,
    vorsel = function(s) return strings.encrypt(s, KEY) end,
    luaossl = has_ossl and function(s) return ossl(false, s) end or nil,
  },
  decrypt = {
    floor = floor.copy,
    vorsel = function(s) return strings.decrypt(s, KEY) end,
    luaossl = has_ossl and function(s) return ossl(true, s) end or nil,
  },
}
local WHO = { "floor", "vorsel", "luaossl" }

local function status(field)
  local f = assert(io.open("/proc/self/status"))
  local kb = f:read("*a"):match(field .. ":%s*(%d+)")
  f:close()
  return tonumber(kb) / 1024
end

local function faults()
  local f = assert(io.open("/proc/self/stat"))
  local n = f:read("*a"):match("^%d+ %b() %S+" .. (" %S+"):rep(6) .. " (%d+)")
  f:close()
  return tonumber(n)
end

-- `count` distinct texts of `size` bytes.
local function texts(size, count)
  local base = ("0123456789abcdefghijklmnopqrstuv"):rep(size / 32):sub(9)
  local t = {}
  for i = 1, count do t[i] = string.format("%08x", i) .. base end
  return t
end

if arg[3] == "peak" then
  local text = texts(64 * 1048576, 1)[1]
  collectgarbage()
  collectgarbage()
  local f = io.open("/proc/self/clear_refs", "w") -- resets the peak to what is resident now
  if f then f:write("5") f:close() end
  local before = status("VmHWM")
  local result = FNS.encrypt[arg[4]](text)
  print(string.format("%s %s: one 64 MiB encrypt raised the peak by %.1f MiB, its result %.1f MiB",
    name, arg[4], status("VmHWM") - before, #result / 1048576))
  return
end

local function time(fn, inputs)
  collectgarbage()
  collectgarbage()
  local f0, t0 = faults(), os.clock()
  for i = 1, #inputs do fn(inputs[i]) end
  collectgarbage()
  return (os.clock() - t0) / #inputs, (faults() - f0) / #inputs
end

local function median(xs)
  local s = {}
  for i, x in ipairs(xs) do s[i] = x end
  table.sort(s)
  return s[(#s + 1) / 2]
end

local function report(direction, size, inputs)
  local secs, flts, ratios = { floor = {}, vorsel = {}, luaossl = {} }, {}, { vorsel = {}, luaossl = {}, vo = {} }
  for r = 1, 7 do
    local round = {}
    for _, who in ipairs(WHO) do
      local fn = FNS[direction][who]
      if fn then
        local list = who == "luaossl" and inputs.ossl or inputs.vorsel
        round[who], flts[who] = time(fn, list)
        secs[who][r] = round[who]
      end
    end
    ratios.vorsel[r] = round.vorsel / round.floor
    if round.luaossl then
      ratios.luaossl[r] = round.luaossl / round.floor
      ratios.vo[r] = round.vorsel / round.luaossl
    end
  end
  local label = size >= 1048576 and ("%d MiB"):format(size / 1048576) or ("%d KiB"):format(size / 1024)
  local line = string.format("%-7s %s %6s: floor %.3f ns/B; vorsel %.2fx floor", name, direction, label,
    median(secs.floor) * 1e9 / size, median(ratios.vorsel))
  if has_ossl then
    line = line .. string.format(", luaossl %.2fx floor, vorsel %.2fx luaossl", median(ratios.luaossl),
      median(ratios.vo))
  end
  line = line .. string.format("; page faults per call: floor %.0f, vorsel %.0f", flts.floor, flts.vorsel)
  if has_ossl then line = line .. string.format(", luaossl %.0f", flts.luaossl) end
  print(line)
end

for _, size in ipairs({ 16384, 1048576, 64 * 1048576 }) do
  local count = size < 32 * 1048576 and 32 * 1048576 / size or 1
  local plain = { vorsel = texts(size, count) }
  plain.ossl = plain.vorsel
  report("encrypt", size, plain)
  local sealed = { vorsel = {}, ossl = {} }
  for i, text in ipairs(plain.vorsel) do
    sealed.vorsel[i] = strings.encrypt(text, KEY)
    sealed.ossl[i] = has_ossl and ossl(false, text) or nil
  end
  plain = nil -- luacheck: ignore (the texts must be gone: they equal decrypt's results)
  report("decrypt", size, sealed)
end
