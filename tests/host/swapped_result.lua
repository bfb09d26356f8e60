-- Run by refusing_host: Lua code swaps the module's result table for one of
-- its own mid-call, then makes the host refuse to grow anything. The call
-- must end in the runtime's memory error and hold nothing afterwards (the
-- leak check is valgrind's, around the host).
-- luacheck: globals refuse_allocations
local vorsel = require("vorsel")
local key = {}
for i = 1, 16 do key[i] = i end
local function range(n)
  local t = {}
  for i = 1, n do t[i] = i % 256 end
  return t
end

local function ends_in_memory_error(fn, ...)
  local ok, err = pcall(fn, ...)
  refuse_allocations(false)
  assert(not ok and err == "not enough memory", "expected the memory error, got " .. tostring(err))
end

-- Swapped result then refused allocation, by a return hook on the table
-- maker that large results are made with. (LuaJIT, whose return hooks
-- skip C functions, does not run this host.)
local input = range(70000)
local sealed = vorsel.encrypt(input, key)
for _, call in ipairs({ { vorsel.encrypt, input }, { vorsel.decrypt, sealed } }) do
  local swapped = false
  debug.sethook(function(event)
    local caller = debug.getinfo(3, "f")
    if event == "return" and caller and caller.func == call[1] then
      debug.setlocal(2, 2, {})
      debug.sethook()
      swapped = true
      refuse_allocations(true)
    end
  end, "r")
  ends_in_memory_error(call[1], call[2], key)
  debug.sethook()
  assert(swapped, "the hook did not run")
end

-- Swapped result then refused allocation, by a finalizer that the
-- collector's step runs while the result table is made (Lua 5.3 and 5.4
-- step after the table is on the stack; 5.2 before, where nothing is
-- swapped). One finalizer is always pending.
local swaps, target = 0, nil
local function arm()
  setmetatable({}, { __gc = function()
    arm() -- before anything is refused
    for level = 2, 30 do
      local info = debug.getinfo(level, "f")
      if not info then break end
      if info.func == target then
        if debug.setlocal(level, 3, {}) then
          swaps = swaps + 1
          refuse_allocations(true)
        end
        return
      end
    end
  end })
end
if _VERSION ~= "Lua 5.1" then
  arm()
  local small = range(1000)
  local small_sealed = vorsel.encrypt(small, key)
  for i = 1, 3000 do
    local fn, arg = vorsel.encrypt, small
    if i % 2 == 0 then fn, arg = vorsel.decrypt, small_sealed end
    target = fn
    local before = swaps
    local ok, err = pcall(fn, arg, key)
    refuse_allocations(false)
    if swaps == before then
      assert(ok, err)
    else
      assert(not ok and err == "not enough memory", tostring(err))
    end
  end
  target = nil
  if _VERSION == "Lua 5.3" or _VERSION == "Lua 5.4" then
    assert(swaps > 0, "no finalizer ran while a result table was made")
  end
end
print(("swapped result then refused allocation: %s, %d swaps by finalizers"):format(_VERSION, swaps))
