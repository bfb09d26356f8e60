// Module entry, function table and version().
#include <lua.hpp>

#include "binding/error_level.hpp"
#include "binding/export.hpp"
#include "binding/lua_compat.hpp"
#include "binding/table_requests.hpp"

namespace {

// Three newlines: one before the title, one after the notice, one at the end.
constexpr const char BANNER[] =
    "\nLua Library for Crypto v1.2 (c) 2026 The vorsel developers\n"
    "https://vorsel.example.org/\n";

constexpr const char MSG_VERSION_ARGS[] =
    "crypto.version: invalid number of arguments (should be none)";

int crypto_version(lua_State *L)
{
    if (lua_gettop(L) != 0) {
        return raise_error(L, MSG_VERSION_ARGS);
    }
    lua_pushstring(L, BANNER);
    return 1;
}

constexpr luaL_Reg crypto_reg[] = {
    {"version", crypto_version},
    {"encrypt", crypto_encrypt},
    {"decrypt", crypto_decrypt},
    {nullptr, nullptr},
};

} // namespace

// require "vorsel": registers the table as package.loaded.vorsel and the
// global vorsel (reusing it on a second call) and returns it.
VORSEL_EXPORT int luaopen_vorsel(lua_State *L)
{
    register_module(L, "vorsel", crypto_reg);
    return 1;
}
