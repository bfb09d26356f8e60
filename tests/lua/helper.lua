-- Loaded by busted before every test file: puts the freshly built module
-- first on package.cpath.
local build = os.getenv("VORSEL_BUILD_DIR") or "../../build"
package.cpath = build .. "/?.so;" .. package.cpath
