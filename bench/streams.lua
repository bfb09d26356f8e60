-- vorsel.strings' streams against luaossl's update loop on the same 64 KiB
-- pieces, and against vorsel.strings on the whole string (run from the
-- project's root, one measure per process):
--   <interpreter> bench/streams.lua <folder holding vorsel/strings.so> <MiB> <what>
-- what: stream-vorsel, stream-luaossl (seal and open, piece by piece), whole
-- (strings.encrypt and decrypt of the whole). Prints CPU seconds for sealing
-- and for opening (medians of five), and the peak RSS beyond the process's at start (MiB).
--
-- Every piece is new (64 KiB, its last 16 bytes a counter), so that no
-- result equals a live string: Lua 5.1 interns every string, and such a
-- result would cost a comparison instead of a copy. Making the pieces costs
-- the same on each side, and is timed alone too.
package.cpath = (arg[1] or "build") .. "/?.so;" .. package.cpath
local strings = require("vorsel.strings")
local KEY = "0123456789abcdef"
local MIB, what = tonumber(arg[2] or 256), arg[3] or "stream-vorsel"
local PIECE = 65536
local COUNT = MIB * 1048576 / PIECE
local name = jit and "luajit" or (_VERSION:gsub("Lua ", "lua"))

local function rss_mb(field)
  local f = io.open("/proc/self/status")
  local kb = f and f:read("*a"):match(field .. ":%s*(%d+)")
  if f then f:close() end
  return kb and tonumber(kb) / 1024 or 0
end
local start = rss_mb("VmRSS")

local base = ("0123456789abcdefghijklmnopqrstuv"):rep(PIECE / 32):sub(1, PIECE - 16)
local function piece(i) return base .. ("%016x"):format(i) end

-- CPU seconds of COUNT pieces through step(piece), the making of the
-- pieces included.
local function loop(step)
  local t0 = os.clock()
  for i = 1, COUNT do step(piece(i)) end
  return os.clock() - t0
end
local making = {}
for r = 1, 5 do making[r] = loop(function() end) end
table.sort(making)

local function streams()
  if what == "stream-vorsel" then
    local sealer = strings.sealer(KEY, COUNT * PIECE)
    local seal = loop(function(p) sealer:update(p) end)
    sealer:final()
    local opener = strings.opener(KEY)
    opener:update(strings.encrypt(("x"):rep(7), KEY)) -- a header (pad count 0), then any blocks
    local open = loop(function(p) opener:update(p) end)
    opener:final()
    return seal, open
  end
  local cipher = require("openssl.cipher")
  local c = cipher.new("AES-128-ECB")
  c:encrypt(KEY, nil, false)
  local seal = loop(function(p) c:update(p) end)
  c:final()
  c = cipher.new("AES-128-ECB")
  c:decrypt(KEY, nil, false)
  local open = loop(function(p) c:update(p) end)
  c:final()
  return seal, open
end

local function whole()
  local parts = {}
  for i = 1, COUNT do parts[i] = piece(i) end
  local text = table.concat(parts)
  parts = nil -- luacheck: ignore
  collectgarbage()
  local t0 = os.clock()
  local sealed = strings.encrypt(text, KEY)
  local seal = os.clock() - t0
  text = nil -- luacheck: ignore
  collectgarbage()
  t0 = os.clock()
  local _ = strings.decrypt(sealed, KEY)
  return seal, os.clock() - t0
end

-- Medians of five.
local seals, opens = {}, {}
for r = 1, 5 do
  seals[r], opens[r] = (what == "whole" and whole or streams)()
  collectgarbage()
end
table.sort(seals)
table.sort(opens)
local seal, open = seals[3], opens[3]
print(("%s %s, %d MiB: seal %.3f s, open %.3f s CPU%s; peak %.1f MiB beyond the start"):format(
  name, what, MIB, seal, open, what == "whole" and "" or (" (%.3f s of each making the pieces)"):format(making[3]),
  rss_mb("VmHWM") - start))
