// A Lua state on a host's own allocator, on every Lua version: 5.5 takes a
// seed for its string hashes as well.
#pragma once

#include <lua.hpp>

inline lua_State *new_state(lua_Alloc alloc, void *ud)
{
#if LUA_VERSION_NUM >= 505
    return lua_newstate(alloc, ud, luaL_makeseed(nullptr));
#else
    return lua_newstate(alloc, ud);
#endif
}
