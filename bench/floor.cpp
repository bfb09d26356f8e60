// vorsel_floor: the floor of the byte-table API, built only for the
// benchmark. roundtrip(t) reads t's n elements into a buffer with the same
// per-element calls as the module and stores them back into a presized
// table: no framing, no cipher. roundtrip_grow prices the module's fallback
// for results the runtime will not create at their final size: the table is
// grown by setting every key before it is filled.
#include <cstdint>
#include <cstdlib>

#include <lua.hpp>

#include "binding/byte_table.hpp"
#include "binding/export.hpp"

namespace {

int roundtrip_with(lua_State *L, bool grow)
{
    const std::size_t n = lua_objlen(L, 1);
    const auto count = static_cast<std::uint32_t>(n);
    if (grow) {
        lua_createtable(L, 0, 0);
        for (std::uint32_t k = 1; k <= count; ++k) {
            lua_pushnumber(L, 0);
            lua_rawseti(L, -2, static_cast<int>(k));
        }
    } else {
        lua_createtable(L, static_cast<int>(count), 0);
    }
    const int result = lua_gettop(L);
    auto *buffer = static_cast<std::uint8_t *>(std::malloc(n + 1));
    read_byte_table(L, 1, buffer, static_cast<std::int64_t>(n), 0);
    fill_byte_table(L, result, buffer, count);
    std::free(buffer);
    return 1;
}

int floor_roundtrip(lua_State *L)
{
    return roundtrip_with(L, false);
}

int floor_roundtrip_grow(lua_State *L)
{
    return roundtrip_with(L, true);
}

constexpr luaL_Reg floor_reg[] = {
    {"roundtrip", floor_roundtrip},
    {"roundtrip_grow", floor_roundtrip_grow},
    {nullptr, nullptr},
};

} // namespace

VORSEL_EXPORT int luaopen_vorsel_floor(lua_State *L)
{
    luaL_register(L, "vorsel_floor", floor_reg);
    return 1;
}
