// A Lua host whose allocator Lua code can make refuse every allocation that
// grows a block: refuse_allocations(true), until refuse_allocations(false);
// or interrupt, as the standalone interpreter does on Ctrl-C, once a block
// of at least n bytes is allocated: interrupt_at(n). The interrupt is the
// interpreter's own kind: a hook on every call, return and instruction
// that raises "interrupted!". It runs Lua files in turn with the module's
// folder first on package.cpath and exits 0 when they all ran without
// error. Built for each Lua version.
//
// usage: refusing_host <folder holding vorsel.so> <file.lua>...
#include <lua.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "new_state.hpp"

namespace {

bool refusing = false;
std::size_t interrupt_size = 0;
lua_State *host_state = nullptr;

void interrupted(lua_State *L, lua_Debug *)
{
    lua_sethook(L, nullptr, 0, 0);
    luaL_error(L, "interrupted!");
}

void *refusing_alloc(void *, void *ptr, std::size_t osize, std::size_t nsize)
{
    if (nsize == 0) {
        std::free(ptr);
        return nullptr;
    }
    if (interrupt_size != 0 && nsize >= interrupt_size) {
        // What a signal handler may do at any moment: set the hook.
        interrupt_size = 0;
        lua_sethook(host_state, interrupted, LUA_MASKCALL | LUA_MASKRET | LUA_MASKCOUNT, 1);
    }
    // A new block's osize is 0, or from Lua 5.2 on a small type tag.
    if (refusing && (ptr == nullptr || nsize > osize)) {
        return nullptr;
    }
    return std::realloc(ptr, nsize);
}

int refuse_allocations(lua_State *L)
{
    refusing = lua_toboolean(L, 1) != 0;
    return 0;
}

int interrupt_at(lua_State *L)
{
    interrupt_size = static_cast<std::size_t>(luaL_checknumber(L, 1));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder holding vorsel.so> <file.lua>...\n", argv[0]);
        return 2;
    }
    lua_State *L = new_state(refusing_alloc, nullptr);
    host_state = L;
    luaL_openlibs(L);
    lua_pushcfunction(L, refuse_allocations);
    lua_setglobal(L, "refuse_allocations");
    lua_pushcfunction(L, interrupt_at);
    lua_setglobal(L, "interrupt_at");
    const std::string cpath = std::string("package.cpath = '") + argv[1] + "/?.so;' .. package.cpath";
    int status = luaL_dostring(L, cpath.c_str());
    for (int i = 2; status == 0 && i < argc; ++i) {
        status = luaL_dofile(L, argv[i]);
        if (status != 0) {
            const char *err = lua_tostring(L, -1);
            std::fprintf(stderr, "%s: %s\n", argv[i], err != nullptr ? err : "(error object is not a string)");
        }
    }
    refusing = false;
    lua_close(L);
    return status == 0 ? 0 : 1;
}
