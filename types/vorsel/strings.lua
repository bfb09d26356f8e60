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

return strings
