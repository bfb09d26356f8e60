#include "binding/byte_table.hpp"

#include "binding/lua_compat.hpp"

int read_byte_table(lua_State *L, int index, std::uint8_t *dest, std::int64_t count,
                    std::uint32_t offset)
{
    if (lua_type(L, index) != LUA_TTABLE) {
        return -1;
    }
    if (static_cast<std::int64_t>(raw_length(L, index)) < count) {
        return -1;
    }
    // count never exceeds 2^28 + 16 here, so it fits the int keys of the API.
    const int n = static_cast<int>(count);
    std::uint8_t *out = dest + offset;
    for (int i = 1; i <= n; ++i) {
        lua_rawgeti(L, index, i); /* element i on top */
        out[i - 1] = number_to_byte(lua_tonumber(L, -1));
        lua_settop(L, -2); /* popped */
    }
    return 0;
}

void fill_byte_table(lua_State *L, int index, const std::uint8_t *bytes, std::uint32_t count)
{
    const int n = static_cast<int>(count);
    for (int k = 1; k <= n; ++k) {
        push_byte(L, bytes[k - 1]);
        lua_rawseti(L, index, k); /* an existing slot: no allocation */
    }
}
