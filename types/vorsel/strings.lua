---@meta vorsel.strings
-- Type definitions of vorsel.strings for the Lua language server.

---Sealing of Lua strings in vorsel's format: `require "vorsel.strings"`.
---@class vorsel.strings.module
local strings = {}

---Seals `text` (0 to 2^28 bytes) under a 16-byte `key` (a string, or a byte
---table as vorsel takes keys) and returns the sealed string: the bytes that
---`vorsel.encrypt` gives for the same input, #text + 9 rounded up to a
---multiple of 16. The empty string seals into one block.
---@param text string
---@param key string|vorsel.bytes
---@return string
function strings.encrypt(text, key) end

---Opens a sealed string (whole 16-byte blocks, from this module or from
---`vorsel.encrypt`) and returns its payload. A wrong key, or data that was
---not sealed, raises "invalid encrypted data format".
---@param sealed string
---@param key string|vorsel.bytes
---@return string
function strings.decrypt(sealed, key) end

---A stream that seals a payload of a declared length piece by piece.
---@class vorsel.strings.sealer
local sealer = {} -- luacheck: ignore 241 (a class for the language server alone)

---Takes the next piece of the payload; returns the sealed bytes ready so
---far (whole blocks, possibly none). More bytes than declared raise, and end
---the stream.
---@param piece string
---@return string
function sealer:update(piece) end

---Returns the rest of the sealed bytes; fewer bytes than declared raise.
---@return string
function sealer:final() end

---A stream that opens sealed data piece by piece.
---@class vorsel.strings.opener
local opener = {} -- luacheck: ignore 241

---Takes the next piece of sealed data; returns the payload bytes ready so
---far. The header is checked as soon as 16 bytes have come.
---@param piece string
---@return string
function opener:update(piece) end

---Returns the rest of the payload; sealed data that is not whole blocks
---raises.
---@return string
function opener:final() end

---A sealer for a payload of exactly `length` bytes (0 to 2^28): the
---concatenation of what its update and final return is `strings.encrypt`
---of the whole, however it was cut.
---@param key string|vorsel.bytes
---@param length integer
---@return vorsel.strings.sealer
function strings.sealer(key, length) end

---An opener: the concatenation of what its update and final return is
---`strings.decrypt` of the whole.
---@param key string|vorsel.bytes
---@return vorsel.strings.opener
function strings.opener(key) end

return strings
