---@meta vorsel.bytes
-- Type definitions of vorsel.bytes for the Lua language server.

---Strings to byte tables and back: `require "vorsel.bytes"`.
---@class vorsel.bytes.module
local bytes = {}

---The bytes of `s` from `i` to `j` (string.sub's rules; all of `s` by
---default) as a new byte table.
---@param s string
---@param i? integer
---@param j? integer
---@return vorsel.bytes
function bytes.from_string(s, i, j) end

---Elements `i` to `j` of `t` (string.sub's rules on its raw length, as
---vorsel reads byte tables, whatever `__len` says; all of `t` by default) as
---a string. Elements are taken as `string.char` takes them,
---a fractional one truncated toward zero; an error names the index and the
---value of the first element that is no number from 0 to 255 (a result of
---`decrypt` never has one).
---@param t vorsel.bytes
---@param i? integer
---@param j? integer
---@return string
function bytes.to_string(t, i, j) end

return bytes
