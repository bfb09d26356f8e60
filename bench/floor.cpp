// vorsel_floor: the floor of the byte-table API, built only for the
// benchmark. roundtrip(t) reads t's n elements into a buffer with the same
// per-element calls as the module and pushes them back into a presized
// table: no framing, no cipher. Two variants price the module's choices:
// roundtrip_pcall builds the result under lua_pcall, as the module does, and
// roundtrip_grow does so into a table that grows as it fills.
#include <cstdint>
#include <cstdlib>

#include <lua.hpp>

#include "binding/byte_table.hpp"
#include "binding/export.hpp"

namespace {

struct range {
    const std::uint8_t *bytes;
    std::uint32_t n;
};

int build_presized(lua_State *L)
{
    const auto *r = static_cast<const range *>(lua_touserdata(L, 1));
    push_byte_table(L, r->bytes, 0, r->n);
    return 1;
}

int build_grown(lua_State *L)
{
    const auto *r = static_cast<const range *>(lua_touserdata(L, 1));
    lua_createtable(L, 0, 0);
    for (std::uint32_t k = 0; k < r->n; ++k) {
        lua_pushnumber(L, r->bytes[k]);
        lua_rawseti(L, -2, static_cast<int>(k + 1));
    }
    return 1;
}

int roundtrip_with(lua_State *L, lua_CFunction builder)
{
    const std::size_t n = lua_objlen(L, 1);
    range r{nullptr, static_cast<std::uint32_t>(n)};
    if (builder != nullptr) {
        lua_pushcfunction(L, builder);
        lua_pushlightuserdata(L, &r);
    }
    auto *buffer = static_cast<std::uint8_t *>(std::malloc(n + 1));
    read_byte_table(L, 1, buffer, static_cast<std::int64_t>(n), 0);
    r.bytes = buffer;
    if (builder == nullptr) {
        push_byte_table(L, buffer, 0, r.n);
    } else if (lua_pcall(L, 1, 1, 0) != 0) {
        std::free(buffer);
        return lua_error(L);
    }
    std::free(buffer);
    return 1;
}

int floor_roundtrip(lua_State *L)
{
    return roundtrip_with(L, nullptr);
}

int floor_roundtrip_pcall(lua_State *L)
{
    return roundtrip_with(L, build_presized);
}

int floor_roundtrip_grow(lua_State *L)
{
    return roundtrip_with(L, build_grown);
}

constexpr luaL_Reg floor_reg[] = {
    {"roundtrip", floor_roundtrip},
    {"roundtrip_pcall", floor_roundtrip_pcall},
    {"roundtrip_grow", floor_roundtrip_grow},
    {nullptr, nullptr},
};

} // namespace

VORSEL_EXPORT int luaopen_vorsel_floor(lua_State *L)
{
    luaL_register(L, "vorsel_floor", floor_reg);
    return 1;
}
