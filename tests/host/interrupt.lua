-- Run by refusing_host: the interpreter's interrupt (Ctrl-C in lua.c) set
-- while a large result table is made must stop the call with its own error,
-- "interrupted!", as it stops any other code; the state stays usable.
-- luacheck: globals interrupt_at
local vorsel = require("vorsel")
local key = {}
for i = 1, 16 do key[i] = i end

-- A table with few elements and a raw length of n, its first elements
-- those of head.
local table_with_length = dofile(debug.getinfo(1, "S").source:match("^@(.*)/") .. "/../lua/border.lua")
local function raw_length(n, head)
  local t = table_with_length(n)
  for k, v in ipairs(head or {}) do t[k] = v end
  assert(#t == n, "no border at " .. n)
  return t
end

local N = 20000000
local first_block = vorsel.encrypt({ 1, 2, 3, 4, 5, 6, 7 }, key)
for _, call in ipairs({ { "encrypt", raw_length(N) }, { "decrypt", raw_length(N, first_block) } }) do
  -- The result's array part is the only block of 8 bytes an element.
  interrupt_at(N * 8)
  local ok, err = pcall(vorsel[call[1]], call[2], key)
  interrupt_at(0)
  assert(not ok and tostring(err):find("interrupted!", 1, true),
    call[1] .. " was not stopped by the interrupt: " .. tostring(err))
end
assert(#vorsel.decrypt(vorsel.encrypt({ 1, 2, 3 }, key), key) == 3)
