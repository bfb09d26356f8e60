#!/usr/bin/env lua
-- vorsel: seal and open sealed files from the command line, through the
-- streams of vorsel.strings, in constant memory. Installed as `vorsel`.
local strings = require("vorsel.strings")

local HELP = [==[
usage: vorsel seal [IN [OUT]]     seal IN (the payload) into OUT
       vorsel open [IN [OUT]]     open the sealed IN into OUT
       vorsel check IN            whether the key opens IN's header
A missing IN or OUT, or -, is standard input or output.
The key: --key-file FILE (16 bytes, or 32 hex digits and a newline), or
the environment variable VORSEL_KEY (32 hex digits); never the command
line itself, which other users can read in the process list.
OUT is written to a temporary file beside it, and renamed into place only
when the whole stream succeeded; on any failure OUT is left as it was.
Exit status: 0 success, 1 data that does not open (a wrong key, not
sealed, cut short), 2 a usage error, 3 a file that could not be read or
written (or an interruption).
]==]

local PIECE = 65536
local WINDOWS = package.config:sub(1, 1) == "\\"

-- A failure: its exit status and message, raised as a table so that the
-- one handler below can clean up and report it.
local function fail(status, message)
  error({ status = status, message = message }, 0)
end

-- A module error's text without its position and function name.
local function module_words(err)
  return (tostring(err):gsub("^[^\n]-:%d+: ", ""):gsub("^vorsel%.strings%.[%w:]+: ", ""))
end

local function hex_key(text, from)
  if not text:match("^%x+$") or #text ~= 32 then
    fail(2, from .. " must be 32 hex digits")
  end
  return (text:gsub("%x%x", function(h) return string.char(tonumber(h, 16)) end))
end

local function read_key(file)
  if file then
    local f, err = io.open(file, "rb")
    if not f then fail(2, "cannot read the key file: " .. err) end
    local text = f:read("*a") or ""
    f:close()
    if #text == 16 then return text end
    return hex_key(text:gsub("\r?\n$", ""), "the key file " .. file .. " must hold 16 bytes, or it")
  end
  local env = os.getenv("VORSEL_KEY")
  if env then return hex_key(env, "VORSEL_KEY") end
  fail(2, "no key: give --key-file FILE, or set VORSEL_KEY")
end

local function parse(args)
  local o = { names = {} }
  local i = 1
  while i <= #args do
    local a = args[i]
    if a == "--help" or a == "-h" then
      o.help = true
    elseif a == "--key-file" then
      o.key_file = args[i + 1] or fail(2, "--key-file needs a file name")
      i = i + 1
    elseif a:match("^%-%-key%-file=") then
      o.key_file = a:sub(12)
    elseif a:match("^%-%-?key") or a:match("^%-k") then
      fail(2, "the key is never taken from the command line (other users can read it in the process list): "
        .. "use --key-file FILE or VORSEL_KEY")
    elseif a:match("^%-.") then
      fail(2, "unknown option " .. a .. " (vorsel --help)")
    elseif not o.command then
      o.command = a
    else
      o.names[#o.names + 1] = a
    end
    i = i + 1
  end
  return o
end

local function open_in(name)
  if name == nil or name == "-" then
    if WINDOWS then fail(2, "standard input is read in text mode on Windows: give IN a file name") end
    return io.stdin, "standard input"
  end
  local f, err = io.open(name, "rb")
  if not f then fail(3, err) end
  return f, name
end

-- Where the output goes: standard output, or a temporary file beside OUT.
local function open_out(name, input)
  if name == nil or name == "-" then
    if WINDOWS then fail(2, "standard output is written in text mode on Windows: give OUT a file name") end
    return { file = io.stdout }
  end
  if name == input then fail(2, "OUT is IN: vorsel never writes over its input") end
  if WINDOWS and io.open(name, "rb") then
    fail(2, name .. " exists, and Windows cannot replace a file in one step: remove it, or give another OUT")
  end
  math.randomseed(os.time() + math.floor(os.clock() * 1e6))
  local temp
  repeat
    temp = ("%s.vorsel-%06d"):format(name, math.random(0, 999999))
    local existing = io.open(temp, "rb")
    if existing then existing:close() end
  until not existing
  local f, err = io.open(temp, "wb")
  if not f then fail(3, err) end
  return { file = f, name = name, temp = temp }
end

local out -- the output, for the handler to remove its temporary file
local input -- the input's name, for the messages

local function write(bytes)
  if #bytes > 0 then
    local ok, err = out.file:write(bytes)
    if not ok then fail(3, "cannot write: " .. tostring(err)) end
  end
end

local function call(stream, method, ...)
  local ok, result = pcall(stream[method], stream, ...)
  if not ok then fail(1, input .. ": " .. module_words(result)) end
  return result
end

-- The length of a file that can seek, or nil.
local function length_of(f)
  local size = f:seek("end")
  if not size or not f:seek("set") then return nil end
  return size
end

local function seal(f, key)
  local length, first = length_of(f), nil
  if not length then -- standard input of unknown length: read whole, within the limit
    first = f:read(268435457) or ""
    length = #first
  end
  if length > 268435456 then fail(1, "the payload must be at most 268435456 bytes, got " .. length) end
  local sealer = strings.sealer(key, length)
  if first then
    write(call(sealer, "update", first))
  else
    for piece in function() return f:read(PIECE) end do write(call(sealer, "update", piece)) end
  end
  write(call(sealer, "final"))
end

local function open(f, key)
  local opener = strings.opener(key)
  for piece in function() return f:read(PIECE) end do write(call(opener, "update", piece)) end
  write(call(opener, "final"))
end

local function main(args)
  local o = parse(args)
  if o.help then
    io.stdout:write(HELP)
    return 0
  end
  local command = o.command
  if command ~= "seal" and command ~= "open" and command ~= "check" then
    fail(2, command and "unknown command " .. command .. " (vorsel --help)" or "no command (vorsel --help)")
  end
  if #o.names > (command == "check" and 1 or 2) or command == "check" and #o.names ~= 1 then
    fail(2, "too many or too few file names (vorsel --help)")
  end
  local key = read_key(o.key_file)
  local f
  f, input = open_in(o.names[1])
  if command == "check" then
    local block = f:read(16) or ""
    if #block < 16 then fail(1, input .. ": cut short: " .. #block .. " bytes, not a sealed block") end
    call(strings.opener(key), "update", block)
    io.stderr:write("vorsel: ", input, ": the key opens its header\n")
    return 0
  end
  out = open_out(o.names[2], o.names[1])
  if command == "seal" then seal(f, key) else open(f, key) end
  if f ~= io.stdin then f:close() end
  if out.temp then
    local ok, err = out.file:close()
    if not ok then fail(3, "cannot write: " .. tostring(err)) end
    out.file = nil
    local renamed, rename_err = os.rename(out.temp, out.name)
    if not renamed then fail(3, "cannot put the result in place: " .. tostring(rename_err)) end
  else
    local ok, err = out.file:flush()
    if not ok then fail(3, "cannot write: " .. tostring(err)) end
  end
  return 0
end

local ok, result = pcall(main, { ... })
if not ok then
  if out and out.temp then
    if out.file then out.file:close() end
    os.remove(out.temp)
  end
  local status, message = 3, tostring(result) -- an interruption, or a fault of this script
  if type(result) == "table" then status, message = result.status, result.message end
  io.stderr:write("vorsel: ", message, "\n")
  os.exit(status)
end
os.exit(result)
