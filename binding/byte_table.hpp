// Byte tables: Lua arrays of numbers, one byte per element, keys 1 to n,
// n being their raw length (no __len: lua_objlen, or lua_rawlen from Lua
// 5.2 on). Raw access only: metatables play no part, and no Lua code runs
// during a read or a write.
#pragma once

#include <cstdint>

#include <lua.hpp>

// Element to byte: lua_tonumber (strings that Lua converts, everything else
// 0), truncated toward zero to a signed 32-bit integer, low 8 bits. Numbers
// whose truncation falls outside the 32-bit range, infinities and NaN give 0.
inline std::uint8_t number_to_byte(lua_Number x)
{
    // Written so that NaN fails the test; no out-of-range cast happens.
    if (!(x > -2147483649.0 && x < 2147483648.0)) {
        return 0;
    }
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(x));
}

// Copies elements first .. first + count - 1 of the table at stack index
// `index` (positive; the caller has checked that it is a table) to dest.
// Never raises; the stack is left as it was.
void read_elements(lua_State *L, int index, std::uint32_t first, std::uint32_t count,
                   std::uint8_t *dest);

// Stores bytes[0 .. count) at keys first .. first + count - 1 of the table at
// stack index `index` (positive; a table), as numbers 0 to 255. Into slots
// the table already has nothing is allocated; otherwise the table grows, and
// the runtime may raise its memory or size error.
void write_elements(lua_State *L, int index, std::uint32_t first, const std::uint8_t *bytes,
                    std::uint32_t count);
