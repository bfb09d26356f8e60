// A stand-in for a host's extension library: it exports luaL_errorlevel as
// such a library would, and marks every error it raises, so that tests of
// a module built with VORSEL_HOST_ERRORLEVEL see that each error came
// through here, with the message unchanged behind the mark. Like luaL_error
// it puts a position first (that of the Lua code calling the module, empty
// when a C function such as pcall called it). It also counts its calls in
// the registry field "vorsel_host_errors".
#include <lua.hpp>

#if defined(_WIN32)
#define HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

HOST_EXPORT int luaL_errorlevel(lua_State *L, const char *message)
{
    lua_getfield(L, LUA_REGISTRYINDEX, "vorsel_host_errors");
    lua_pushnumber(L, lua_tonumber(L, -1) + 1);
    lua_setfield(L, LUA_REGISTRYINDEX, "vorsel_host_errors");
    lua_settop(L, -2);
    lua_pushstring(L, "[host] ");
    luaL_where(L, 1); // as luaL_error does: the position of the caller
    lua_pushstring(L, message);
    lua_concat(L, 3);
    return lua_error(L);
}
