-- The README's code blocks, as a user would meet them. Run from the
-- project's root with lua5.1:
--
--   lua5.1 tests/docs/readme.lua run <module folder> <C compiler> <Lua 5.1 headers> <liblua5.1>
--       runs every ```lua block under this same interpreter with the module on
--       LUA_CPATH, and compiles and runs every ```c block against Lua 5.1;
--   lua5.1 tests/docs/readme.lua block <host>
--       prints the block marked <!-- run: <host> --> (nginx, neovim), which
--       that host's own test runs instead.
--
-- A block marked <!-- file: <path> --> must also be that file, verbatim.
local mode = arg[1]

local function read(path)
  local f = assert(io.open(path, "rb"))
  local text = f:read("*a")
  f:close()
  return text
end

-- Every fenced block: its language, its text, and the marks on the lines
-- just before it.
local blocks = {}
local marks = {}
local lines, n = {}, 0
for line in (read("README.md") .. "\n"):gmatch("([^\n]*)\n") do
  n = n + 1
  lines[n] = line
end
local i = 1
while i <= n do
  local lang = lines[i]:match("^```(%w*)%s*$")
  local key, value = lines[i]:match("^<!%-%- (%w+): (%S+) %-%->$")
  if key then
    marks[key] = value
  elseif lang then
    local body = {}
    i = i + 1
    while not lines[i]:match("^```%s*$") do
      body[#body + 1] = lines[i]
      i = i + 1
    end
    blocks[#blocks + 1] = { lang = lang, text = table.concat(body, "\n") .. "\n", marks = marks, line = i - #body - 1 }
    marks = {}
  elseif lines[i] ~= "" then
    marks = {}
  end
  i = i + 1
end

if mode == "block" then
  for _, b in ipairs(blocks) do
    if b.marks.run == arg[2] then
      io.write(b.text)
      return
    end
  end
  error("no block marked for " .. tostring(arg[2]))
end

assert(mode == "run", "usage: readme.lua run <module folder> <cc> <lua headers> <liblua> | block <host>")
local module_dir, cc, incdir, liblua = arg[2], arg[3], arg[4], arg[5]
local tmp = os.tmpname()
local function sh(command)
  local ok = os.execute(command)
  return ok == true or ok == 0
end
local env = "LUA_CPATH='" .. module_dir .. "/?.so' LUA_PATH='binding/?.lua;;' "
local ran, failed = 0, 0
for _, b in ipairs(blocks) do
  local where = "README.md:" .. b.line .. " (" .. b.lang .. ")"
  if b.marks.file and read(b.marks.file) ~= b.text then
    print("FAIL " .. where .. ": differs from " .. b.marks.file)
    failed = failed + 1
  end
  local ok
  if b.marks.run then
    print("skip " .. where .. ": runs in the " .. b.marks.run .. " test")
  elseif b.lang == "lua" then
    local f = assert(io.open(tmp, "w"))
    f:write(b.text)
    f:close()
    ok = sh(env .. arg[-1] .. " " .. tmp)
  elseif b.lang == "c" then
    local f = assert(io.open(tmp .. ".c", "w"))
    f:write(b.text)
    f:close()
    -- (the compiler runs without a sanitizer runtime the tests may preload)
    local compile = ("env -u LD_PRELOAD %s -Wall -Werror -I%s -o %s.exe %s.c %s"):format(cc, incdir, tmp, tmp, liblua)
    ok = sh(compile)
      and sh(env .. tmp .. ".exe")
  end
  if ok ~= nil then
    ran = ran + 1
    print((ok and "ok   " or "FAIL ") .. where)
    failed = failed + (ok and 0 or 1)
  end
end
os.remove(tmp)
os.remove(tmp .. ".c")
os.remove(tmp .. ".exe")
print(("%d README blocks run, %d failed"):format(ran, failed))
os.exit(failed == 0 and ran > 0 and 0 or 1)
