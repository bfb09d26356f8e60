// The few places where the Lua 5.2 to 5.5 API differs from 5.1's (LuaJIT
// has 5.1's): raw table length, the registration of the module table, and
// pushing a byte, which is an integer on 5.3 and later. Behaviour is the
// same on every version.
#pragma once

#include <cstddef>

#include <lua.hpp>

// The raw border length: no __len.
inline std::size_t raw_length(lua_State *L, int index)
{
#if LUA_VERSION_NUM >= 502
    return lua_rawlen(L, index);
#else
    return lua_objlen(L, index);
#endif
}

inline void push_byte(lua_State *L, unsigned char byte)
{
#if LUA_VERSION_NUM >= 503
    lua_pushinteger(L, byte);
#else
    lua_pushnumber(L, byte);
#endif
}

// A new table holding the functions of reg, on the stack; no global.
inline void new_library(lua_State *L, const luaL_Reg *reg)
{
    lua_createtable(L, 0, 2);
#if LUA_VERSION_NUM >= 502
    luaL_setfuncs(L, reg, 0);
#else
    luaL_register(L, nullptr, reg);
#endif
}

// luaL_register(L, name, reg) as Lua 5.1 does it: the table already in
// package.loaded[name], else the global `name` (made when absent), stored in
// package.loaded; then the functions are set in it. Leaves it on the stack.
inline void register_module(lua_State *L, const char *name, const luaL_Reg *reg)
{
#if LUA_VERSION_NUM >= 502
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_LOADED");
    lua_getfield(L, -1, name);
    if (!lua_istable(L, -1)) {
        lua_settop(L, -2);
        lua_getglobal(L, name);
        if (lua_isnil(L, -1)) {
            lua_settop(L, -2);
            lua_newtable(L);
            lua_pushvalue(L, -1);
            lua_setglobal(L, name);
        } else if (!lua_istable(L, -1)) {
            luaL_error(L, "name conflict for module '%s'", name);
        }
        lua_pushvalue(L, -1);
        lua_setfield(L, -3, name);
    }
    lua_remove(L, -2);
    luaL_setfuncs(L, reg, 0);
#else
    luaL_register(L, name, reg);
#endif
}
