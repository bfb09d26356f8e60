-- Faults planted by rule in the module's own code (make mutants), one line
-- each, in the format of mutants.txt with the line's number after the file:
--   ## <id> <what it does>
--   @ <file>:<line>
--   - <the line>
--   + <the line with the fault>
-- The rules: a comparison turned into its neighbour (< and <=, > and >=, ==
-- and != or ~=); an integer constant moved by one either way; a condition
-- negated; && and || (and, or) swapped; an early return removed. The id is
-- made from the file and the two lines, so that it stays while other lines
-- move, and a fault known to be equivalent is listed by it, with the reason,
-- in tests/mutants/equivalent.txt.
--   lua5.1 tests/mutants/generate.lua <count> <seed>   (from the project's root)
-- prints a sample of <count> faults drawn with <seed> (all of them when
-- <count> is 0), in the order of the files and lines.
local count, seed = tonumber(arg[1]) or 0, tonumber(arg[2]) or 1

-- The files, and for each the lines it is read between (patterns: the
-- first such stretch; the whole file when none). Only code that this
-- machine builds: in aes128_hardware.cpp, the x86 CPU test.
local FILES = {
  { "binding/byte_table.cpp" },
  { "binding/lua_compat.hpp" },
  { "binding/error_level.hpp" },
  { "binding/module.cpp" },
  { "binding/table_requests.cpp" },
  { "binding/strings.cpp" },
  { "binding/streams.cpp" },
  { "binding/string_work.hpp" },
  { "binding/command.lua" },
  { "binding/protected.cpp" },
  { "binding/vorsel/bytes.lua" },
  { "seal/aes128.cpp" },
  { "seal/aes128_hardware.cpp", "^bool aes128_hardware_available", "^}" },
}

local function read_lines(path)
  local lines = {}
  for line in io.lines(path) do lines[#lines + 1] = line end
  return lines
end

-- djb2 over the text, as eight hex digits (exact in a double).
local function hash(text)
  local h = 5381
  for i = 1, #text do h = (h * 33 + text:byte(i)) % 4294967296 end
  return string.format("%08x", h)
end

local faults = {}
local function add(file, n, old, new, what)
  if new ~= old then
    faults[#faults + 1] = { id = "G" .. hash(file .. "\0" .. old .. "\0" .. new), file = file, line = n,
      old = old, new = new, what = what }
  end
end

-- Each fault that puts `to` for one `from` (plain texts) found in `bare`, the
-- line with its string literals blanked, into the line itself.
local function swap(file, n, line, bare, from, to, what)
  local init = 1
  while true do
    local p = bare:find(from, init, true)
    if not p then return end
    add(file, n, line, line:sub(1, p - 1) .. to .. line:sub(p + #from), what)
    init = p + #from
  end
end

-- Each language's conditions (the text before, the condition, the text
-- after), its negation, and its two logical operators.
local SYNTAX = {
  lua = { conditions = { "^(%s*if )(.-)( then.*)$", "^(%s*elseif )(.-)( then.*)$", "^(%s*while )(.-)( do.*)$" },
    negate = "not (%s)", logic = { " and ", " or " } },
  cpp = { conditions = { "^(%s*} else if %()(.*)(%) {%s*)$", "^(%s*if %()(.*)(%) {%s*)$",
    "^(%s*while %()(.*)(%) {%s*)$" }, negate = "!(%s)", logic = { " && ", " || " } },
}

local function mutate(file, n, line, lua)
  local code = line:gsub(lua and "%-%-.*$" or "//.*$", "")
  if code:match("^%s*$") or code:match("^%s*#") or code:match("^%s*%*") or code:match("^%s*/%*") then
    return
  end
  -- Outside string literals and comments only.
  local function blank(s) return ("_"):rep(#s) end
  local bare = code:gsub('"[^"]*"', blank):gsub("'[^']*'", blank):gsub("/%*.-%*/", blank)
  local ne = lua and " ~= " or " != "
  for _, s in ipairs({ { " <= ", " < " }, { " < ", " <= " }, { " >= ", " > " }, { " > ", " >= " },
    { " == ", ne }, { ne, " == " } }) do
    swap(file, n, line, bare, s[1], s[2], "comparison" .. s[1] .. "to" .. s[2])
  end
  -- Integer constants, not part of a name or a real number.
  local init = 1
  while true do
    local a, b = bare:find("%f[%w_.]%d+%f[^%w_.]", init)
    if not a then break end
    local digits = bare:sub(a, b)
    local v = tonumber(digits)
    if not bare:sub(1, a - 1):match("0x$") then
      for _, d in ipairs({ 1, -1 }) do
        if v + d >= 0 then
          add(file, n, line, line:sub(1, a - 1) .. string.format("%d", v + d) .. line:sub(b + 1),
            ("constant %s %s 1"):format(digits, d > 0 and "+" or "-"))
        end
      end
    end
    init = b + 1
  end
  -- Conditions negated; && and || (and, or) swapped.
  local syntax = lua and SYNTAX.lua or SYNTAX.cpp
  for _, pattern in ipairs(syntax.conditions) do
    local head, cond, tail = line:match(pattern)
    if head then
      add(file, n, line, head .. syntax.negate:format(cond) .. tail, "condition negated")
      break
    end
  end
  local x, y = syntax.logic[1], syntax.logic[2]
  swap(file, n, line, bare, x, y, x:sub(2, -2) .. " to " .. y:sub(2, -2))
  swap(file, n, line, bare, y, x, y:sub(2, -2) .. " to " .. x:sub(2, -2))
end

for _, f in ipairs(FILES) do
  local file, from, to = f[1], f[2], f[3]
  local lines = read_lines(file)
  local lua = file:match("%.lua$")
  local inside, done = from == nil, false -- (the first such stretch only)
  -- Lines that only a Windows build compiles are left out: this machine
  -- neither builds nor runs them under the suite.
  local windows = {}
  for n, line in ipairs(lines) do
    local directive, cond = line:match("^#%s*(%a+)(.*)$")
    if directive == "if" or directive == "ifdef" then
      windows[#windows + 1] = cond:find("defined%(_WIN32%)") ~= nil and not cond:find("!defined%(_WIN32%)")
    elseif directive == "elif" then
      windows[#windows] = cond:find("defined%(_WIN32%)") ~= nil
    elseif directive == "else" then
      windows[#windows] = false
    elseif directive == "endif" then
      windows[#windows] = nil
    end
    local on_windows = false
    for _, w in ipairs(windows) do on_windows = on_windows or w end
    if from and not inside and not done and line:match(from) then inside = true end
    if inside and not on_windows then
      mutate(file, n, line, lua)
      -- An early return: one inside a block that goes on after it.
      local nxt = lines[n + 1] or ""
      if lua and line:match("^%s*return%f[%W]") and nxt:match("^%s*end%s*$") and n + 1 < #lines
        and not (lines[n + 2] or ""):match("^end") then
        add(file, n, line, line:match("^(%s*)") .. "-- (return removed)", "early return removed")
      elseif not lua and line:match("^%s+return[ ;]") and nxt:match("^%s+}%s*$") and not nxt:match("^}") then
        add(file, n, line, line:match("^(%s*)") .. "; // (return removed)", "early return removed")
      end
      if to and n > 1 and line:match(to) then inside, done = false, true end
    end
  end
end

-- The same fault made twice (two rules, one result) is kept once.
local seen, unique = {}, {}
for _, f in ipairs(faults) do
  if not seen[f.id] then seen[f.id] = true; unique[#unique + 1] = f end
end
faults = unique

-- A seeded sample, drawn without replacement (the same on every Lua).
local chosen = {}
if count > 0 and count < #faults then
  local state = seed % 2147483647
  if state == 0 then state = 1 end
  local order = {}
  for i = 1, #faults do order[i] = i end
  for i = 1, count do
    state = (state * 16807) % 2147483647
    local j = i + state % (#faults - i + 1)
    order[i], order[j] = order[j], order[i]
    chosen[order[i]] = true
  end
else
  for i = 1, #faults do chosen[i] = true end
end
for i, f in ipairs(faults) do
  if chosen[i] then
    io.write("## ", f.id, " ", f.file, ":", f.line, ": ", f.what, "\n@ ", f.file, ":", f.line, "\n- ", f.old,
      "\n+ ", f.new, "\n\n")
  end
end
io.stderr:write(("generate.lua: %d faults by rule, %d in this sample\n"):format(#faults,
  count > 0 and math.min(count, #faults) or #faults))
