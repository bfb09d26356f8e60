-- vorsel walk-through: load the module and show what it does.
-- Run from the project root with `make demo`, or:
--   lua5.1 -e 'package.cpath="build/?.so;"..package.cpath' examples/demo.lua
local vorsel = require("vorsel")

io.write(vorsel.version())
