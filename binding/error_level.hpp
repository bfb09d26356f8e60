// How the module raises its errors.
//
// Every error goes through raise_error(L, message) as the last act of the
// failing function, whose result it returns as its count of results.
//
// With VORSEL_HOST_ERRORLEVEL the module is built for a host whose
// extension library exports luaL_errorlevel(L, message): the error is
// raised by that function (it may, say, prefix a position). The symbol is
// the host's: resolved at load time like the Lua API on Linux, imported
// from the host library's DLL on Windows.
//
// Otherwise, for stock Lua 5.1 and LuaJIT hosts, a stand-in with internal
// linkage raises a Lua error whose value is exactly the message. Neither
// returns: lua_error longjmps (or unwinds, in LuaJIT).
#pragma once

#include <lua.hpp>

#if defined(VORSEL_HOST_ERRORLEVEL)
extern "C" int luaL_errorlevel(lua_State *L, const char *message);

static inline int raise_error(lua_State *L, const char *message)
{
    return luaL_errorlevel(L, message);
}
#else
static inline int raise_error(lua_State *L, const char *message)
{
    lua_pushstring(L, message);
    return lua_error(L);
}
#endif
