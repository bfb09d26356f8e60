// vorsel_floor: the floor of the byte-table API, built only for the
// benchmark, and fixed: the naive loop any byte-table module would write,
// sharing no code with the module, so that the module's own gains show in
// the ratio. roundtrip(t) reads t's n elements into a buffer (per element one
// lua_rawgeti, one lua_tonumber, the truncation, one lua_settop) and stores
// them into a table created at its final size (per element one
// lua_pushnumber, one lua_rawseti): no framing, no cipher.
// roundtrip_grow does the same into a table that grows as it is filled.
//
// copy(s) is the floor of the string API: one new string made from its
// argument's bytes, all but the first (so never equal to s itself: Lua 5.1
// and LuaJIT intern every string, and a result equal to a live string would
// cost a comparison, not a copy). Built for each Lua version the benchmark
// runs.
#include <cstdint>
#include <cstdlib>

#include <lua.hpp>

#if LUA_VERSION_NUM >= 502 && !defined(lua_objlen)
#define lua_objlen lua_rawlen
#endif

namespace {

int floor_copy(lua_State *L)
{
    std::size_t n = 0;
    const char *s = luaL_checklstring(L, 1, &n);
    lua_pushlstring(L, s + (n > 0 ? 1 : 0), n > 0 ? n - 1 : 0);
    return 1;
}

int roundtrip_with(lua_State *L, bool grow)
{
    const int n = static_cast<int>(lua_objlen(L, 1));
    lua_createtable(L, grow ? 0 : n, 0);
    auto *buffer = static_cast<unsigned char *>(std::malloc(static_cast<std::size_t>(n) + 1));
    for (int i = 1; i <= n; ++i) {
        lua_rawgeti(L, 1, i);
        const lua_Number x = lua_tonumber(L, -1);
        buffer[i - 1] = x > -2147483649.0 && x < 2147483648.0
                            ? static_cast<unsigned char>(static_cast<std::int32_t>(x))
                            : 0;
        lua_settop(L, -2);
    }
    for (int i = 1; i <= n; ++i) {
        lua_pushnumber(L, buffer[i - 1]);
        lua_rawseti(L, -2, i);
    }
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
    {"copy", floor_copy},
    {nullptr, nullptr},
};

} // namespace

extern "C" __attribute__((visibility("default"))) int luaopen_vorsel_floor(lua_State *L)
{
#if LUA_VERSION_NUM >= 502
    lua_newtable(L);
    luaL_setfuncs(L, floor_reg, 0);
#else
    luaL_register(L, "vorsel_floor", floor_reg);
#endif
    return 1;
}
