-- Loaded by busted before every test file: puts the freshly built module
-- first on package.cpath.
package.cpath = require("support").CPATH .. package.cpath
