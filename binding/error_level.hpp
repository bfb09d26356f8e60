// luaL_errorlevel for stock Lua 5.1 and LuaJIT hosts.
//
// Every error the module raises goes through luaL_errorlevel(L, message) as
// the last act of the failing function. Hosts with their own extension
// library export that function; stock hosts do not, so this file supplies
// one with internal linkage (it is never exported). A host build replaces
// this header with a declaration of its own function.
//
// Here the error value is exactly the message, with no position prefix.
// The call does not return: lua_error longjmps (or unwinds, in LuaJIT).
#pragma once

#include <lua.hpp>

static inline int luaL_errorlevel(lua_State *L, const char *message)
{
    lua_pushstring(L, message);
    return lua_error(L);
}
