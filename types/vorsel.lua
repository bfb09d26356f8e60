---@meta vorsel
-- Type definitions of the vorsel module for the Lua language server.
-- Add the folder that holds this file to `workspace.library`.

---A byte table: a Lua array whose elements 1 to n are the bytes, n being
---its raw length. Each element becomes a byte by truncation toward zero to
---a signed 32-bit integer and its low 8 bits (numbers, and strings Lua
---converts to numbers); anything else, holes included, gives 0. Results are
---always new tables of integers 0 to 255.
---@alias vorsel.bytes integer[]

---@class vorsel
local vorsel = {}

---The module table, also set as the global `vorsel` by `require "vorsel"`.
---@type vorsel
_G.vorsel = vorsel

---Seals `input` under the 16-byte `key` into a byte table of n + 9 + P
---elements, a multiple of 16 (AES-128, block by block).
---
---Errors (the error value is the bare message):
--- * `crypto.encrypt: invalid number of arguments (should be 2)`
--- * `crypto.encrypt: invalid argument #1 (input)`: not a table, empty, or
---   over 268435456 elements
--- * `crypto.encrypt: invalid argument #2 (key)`: not a table of 16 elements
--- * `crypto.encrypt: insufficient memory`: a result of more than 65536
---   elements could not be allocated, or (LuaJIT) one of more than
---   2^27 + 2^26 elements, which no LuaJIT table holds
--- * the runtime's own `not enough memory` (smaller results) or, near
---   LuaJIT's ceiling, `table overflow`
--- * an error raised by Lua code while the result is made (a debug hook,
---   the interpreter's interrupt) or the interpreter's `C stack overflow`,
---   unchanged
---@param input vorsel.bytes 1 to 2^28 bytes
---@param key vorsel.bytes exactly 16 bytes
---@return vorsel.bytes sealed
function vorsel.encrypt(input, key) end

---Opens a sealed byte table made by `encrypt` and returns its payload.
---
---Errors: those of `encrypt` (with the same `crypto.encrypt:` prefix; the
---input may hold up to 2^28 + 16 elements), and
--- * `crypto.encrypt: invalid encrypted data format`: not whole 16-byte
---   blocks, a wrong key, an altered first block, or a pad count above 15
---@param sealed vorsel.bytes 16 to 2^28 + 16 bytes, a multiple of 16
---@param key vorsel.bytes exactly 16 bytes
---@return vorsel.bytes payload
function vorsel.decrypt(sealed, key) end

---Returns the banner: a newline, `Lua Library for Crypto v1.2` with a
---notice, a newline, a web address and a newline. Any argument raises
---`crypto.version: invalid number of arguments (should be none)`.
---@return string banner
function vorsel.version() end

return vorsel
