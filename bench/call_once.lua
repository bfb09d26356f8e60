-- Runs one module call on an n-element table, for callgrind.
--   lua5.1 bench/call_once.lua <build dir> <encrypt|decrypt|floor> <n>
local build, mode, n = arg[1], arg[2], tonumber(arg[3])
package.cpath = build .. "/?.so;" .. build .. "/bench/?.so;" .. package.cpath
local vorsel = require("vorsel")
local floor = require("vorsel_floor")
local key, input = {}, {}
for i = 1, 16 do key[i] = i end
for i = 1, n do input[i] = (i * 31) % 256 end
if mode == "decrypt" then input = vorsel.encrypt(input, key) end
if mode == "floor" then floor.roundtrip(input) else vorsel[mode](input, key) end
