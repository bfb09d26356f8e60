-- Loaded by busted before every test file: puts the freshly built module
-- first on package.cpath, and its Lua part (vorsel.bytes) on package.path.
local S = require("support")
package.cpath = S.CPATH .. package.cpath
package.path = S.ROOT .. "/binding/?.lua;" .. package.path
