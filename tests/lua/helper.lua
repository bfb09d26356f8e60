-- Loaded by busted before every test file: puts the freshly built module
-- first on package.cpath (a .dll on Windows, a .so elsewhere).
local build = os.getenv("VORSEL_BUILD_DIR") or "../../build"
local windows = package.config:sub(1, 1) == "\\"
package.cpath = build .. (windows and "/?.dll;" or "/?.so;") .. package.cpath
