-- Lua 5.5 makes a for loop's control variable read-only. Writes, for each
-- Lua file under <folder> whose loops assign to it, a copy under <copies>
-- with "local <name> = <name>" at the start of each such loop's body, so
-- that it loads under 5.5 and does what it did. Other files are left out.
--   lua5.5 loop_variables.lua <folder> <copies>
local folder, copies = arg[1], arg[2]

-- The lines of a file with every such loop patched, or nil when it needs
-- none or fails to load for another reason.
local function patched(path)
  local f = assert(io.open(path, "rb"))
  local lines = {}
  for line in f:lines() do
    lines[#lines + 1] = line
  end
  f:close()
  local changed = false
  while true do
    local ok, err = load(table.concat(lines, "\n"), "=" .. path)
    if ok then return changed and lines or nil end
    local at, name = err:match(":(%d+): attempt to assign to const variable '([%w_]+)'")
    if not at then return nil end
    local found
    for i = tonumber(at), 1, -1 do
      local vars = lines[i]:match("^%s*for%s+(.-)%s+in%s") or lines[i]:match("^%s*for%s+([%w_]+)%s*=")
      if vars and ("," .. vars:gsub("%s", "") .. ","):find("," .. name .. ",", 1, true) then
        local line, n = lines[i]:gsub("%f[%w_]do%s*$", "do local " .. name .. " = " .. name)
        assert(n == 1, path .. ":" .. i .. ": the loop's 'do' is not at the end of its line")
        lines[i], found = line, true
        break
      end
    end
    assert(found, path .. ":" .. at .. ": no loop over '" .. name .. "' above")
    changed = true
  end
end

local list = assert(io.popen("cd '" .. folder .. "' && find . -name '*.lua'"))
for file in list:lines() do
  local lines = patched(folder .. "/" .. file)
  if lines then
    local copy = copies .. "/" .. file:sub(3)
    assert(os.execute("mkdir -p '" .. copy:match("^(.*)/") .. "'"))
    local f = assert(io.open(copy, "wb"))
    f:write(table.concat(lines, "\n"), "\n")
    f:close()
    print("for Lua 5.5: " .. copy)
  end
end
list:close()
