/* A C program that embeds Lua 5.1 and uses vorsel. Build and run:
 *   cc host.c -I/usr/include/lua5.1 -llua5.1 -o host && ./host
 * (require finds vorsel.so on package.cpath; LUA_CPATH can set it.) */
#include <stdio.h>

#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

static const char script[] =
    "local vorsel = require 'vorsel'\n"
    "local key = {}\n"
    "for i = 1, 16 do key[i] = i end\n"
    "local sealed = vorsel.encrypt({ 104, 105 }, key)\n"
    "local plain = vorsel.decrypt(sealed, key)\n"
    "return #sealed, string.char(plain[1], plain[2])\n";

int main(void)
{
    lua_State *L = luaL_newstate();
    if (L == NULL) {
        fputs("cannot create a Lua state\n", stderr);
        return 1;
    }
    luaL_openlibs(L);
    if (luaL_dostring(L, script) != 0) {
        fprintf(stderr, "error: %s\n", lua_tostring(L, -1));
        lua_close(L);
        return 1;
    }
    printf("sealed %d bytes, opened \"%s\"\n", (int)lua_tointeger(L, -2), lua_tostring(L, -1));
    lua_close(L);
    return 0;
}
