#include "binding/byte_table.hpp"

#include "binding/lua_compat.hpp"

namespace {

// Elements pushed together and popped with one lua_settop. A C function
// starts with LUA_MINSTACK (20) free slots, and the module's callers hold at
// most 3 when they read.
constexpr int BATCH = 16;
static_assert(BATCH + 3 <= LUA_MINSTACK, "the batch fits the C function's stack");

} // namespace

// Keys never exceed 2^28 + 16 here, so they fit the int keys of the API.
void read_elements(lua_State *L, int index, std::uint32_t first, std::uint32_t count,
                   std::uint8_t *dest)
{
    const int base = static_cast<int>(first);
    const int n = static_cast<int>(count);
    int i = 0;
    for (; i + BATCH <= n; i += BATCH) {
        for (int j = 0; j < BATCH; ++j) {
            lua_rawgeti(L, index, base + i + j); /* elements i .. i + 15 on top */
        }
        for (int j = 0; j < BATCH; ++j) {
            dest[i + j] = number_to_byte(lua_tonumber(L, j - BATCH));
        }
        lua_settop(L, -BATCH - 1); /* popped */
    }
    for (; i < n; ++i) {
        lua_rawgeti(L, index, base + i); /* element on top */
        dest[i] = number_to_byte(lua_tonumber(L, -1));
        lua_settop(L, -2); /* popped */
    }
}

void write_elements(lua_State *L, int index, std::uint32_t first, const std::uint8_t *bytes,
                    std::uint32_t count)
{
    const int base = static_cast<int>(first);
    const int n = static_cast<int>(count);
    for (int i = 0; i < n; ++i) {
        push_byte(L, bytes[i]);
        lua_rawseti(L, index, base + i);
    }
}
