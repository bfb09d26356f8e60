-- Peak memory of one call on a 16 Mi-element table, beyond what the process
-- held before the call (VmHWM after the call minus VmRSS before; the peak is
-- reset through /proc/self/clear_refs first).
--
--   lua5.1 bench/peak.lua <build dir> <encrypt|decrypt|floor|floor_grow> [n]
local build, mode, n = arg[1] or "build", arg[2] or "encrypt", tonumber(arg[3]) or 16777216
package.cpath = build .. "/?.so;" .. build .. "/bench/?.so;" .. package.cpath
local vorsel = require("vorsel")
local floor = require("vorsel_floor")

local function status(field)
  local f = assert(io.open("/proc/self/status"))
  local kib = tonumber(f:read("*a"):match(field .. ":%s*(%d+)"))
  f:close()
  return kib
end

local key = {}
for i = 1, 16 do key[i] = i end
local input = {}
for i = 1, n do input[i] = i % 256 end
if mode == "decrypt" then input = vorsel.encrypt(input, key) end
collectgarbage()
collectgarbage()

local clear = assert(io.open("/proc/self/clear_refs", "w"))
clear:write("5")
clear:close()
local before = status("VmRSS")
local result
if mode == "encrypt" then
  result = vorsel.encrypt(input, key)
elseif mode == "decrypt" then
  result = vorsel.decrypt(input, key)
elseif mode == "floor" then
  result = floor.roundtrip(input)
else
  result = floor.roundtrip_grow(input)
end
print(string.format("%s %s %d %.1f", jit and "luajit" or "lua5.1", mode, #result,
  (status("VmHWM") - before) / 1024))
