// A Lua 5.1 host whose allocator fails after a budget of N allocations.
// For several input sizes it runs encrypt and decrypt, of vorsel and of
// vorsel.strings, with N = 0, 1, 2, ...
// until the call succeeds: every run must end in a result or in the
// runtime's own memory error (or, for a result above 65536 elements that
// cannot be had, the module's memory message), never a crash. Run under
// valgrind, it also shows that no path leaks memory.
//
// usage: alloc_fail_host <folder holding vorsel.so>
#include <lua.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "new_state.hpp"

namespace {

struct budget {
    bool limited;
    long remaining;
};

void *budget_alloc(void *ud, void *ptr, std::size_t osize, std::size_t nsize)
{
    auto *b = static_cast<budget *>(ud);
    if (nsize == 0) {
        std::free(ptr);
        return nullptr;
    }
    if (b->limited && nsize > osize) {
        if (b->remaining == 0) {
            return nullptr;
        }
        --b->remaining;
    }
    return std::realloc(ptr, nsize);
}

// Prepares `call` in the state: a function that runs one request on fixed
// data and returns its result; checks the result is right itself.
const char *const PREPARE = R"lua(
    local vorsel = require("vorsel")
    local n, decrypting, on_strings = ...
    local input, key = {}, {}
    for i = 1, n do input[i] = (i * 7) % 256 end
    for i = 1, 16 do key[i] = i end
    local sealed = vorsel.encrypt(input, key)
    local function same(a, b)
      if #a ~= #b then return false end
      for i = 1, #a do if a[i] ~= b[i] then return false end end
      return true
    end
    if on_strings then
      local strings = require("vorsel.strings")
      local function text(t)
        local parts = {}
        for i = 1, #t do parts[i] = string.char(t[i]) end
        return table.concat(parts)
      end
      -- The result is compared with a marked copy, and the state holds no
      -- string equal to it, so that it is made anew.
      local s_key, expected_x = text(key), text(decrypting and input or sealed) .. "x"
      local s_input = not decrypting and text(input)
      local s_sealed = decrypting and text(sealed)
      collectgarbage()
      call = decrypting and function() return strings.decrypt(s_sealed, s_key) .. "x" == expected_x end
        or function() return strings.encrypt(s_input, key) .. "x" == expected_x end
    elseif decrypting then
      call = function() return same(vorsel.decrypt(sealed, key), input) end
    else
      call = function() return same(vorsel.encrypt(input, key), sealed) end
    end
)lua";

// A memory error as the runtime, vorsel or vorsel.strings reports it.
bool memory_message(const char *err)
{
    return err != nullptr && (std::strcmp(err, "not enough memory") == 0 ||
                              std::strcmp(err, "crypto.encrypt: insufficient memory") == 0 ||
                              (std::strncmp(err, "vorsel.strings.", 15) == 0 &&
                               std::strstr(err, ": not enough memory for a result of ") != nullptr));
}

// Returns the number of failed attempts before success, or -1 on a wrong outcome.
int exercise(const char *build_dir, int n, bool decrypting, bool on_strings)
{
    for (long limit = 0; limit < 10000; ++limit) {
        budget b{false, 0};
        lua_State *L = new_state(budget_alloc, &b);
        luaL_openlibs(L);
        const std::string cpath = std::string("package.cpath = '") + build_dir + "/?.so'";
        if (luaL_dostring(L, cpath.c_str()) != 0 || luaL_loadstring(L, PREPARE) != 0) {
            std::fprintf(stderr, "setup: %s\n", lua_tostring(L, -1));
            return -1;
        }
        lua_pushinteger(L, n);
        lua_pushboolean(L, decrypting);
        lua_pushboolean(L, on_strings);
        if (lua_pcall(L, 3, 0, 0) != 0) {
            std::fprintf(stderr, "prepare: %s\n", lua_tostring(L, -1));
            return -1;
        }
        lua_getglobal(L, "call");
        b.limited = true;
        b.remaining = limit;
        const int status = lua_pcall(L, 0, 1, 0);
        b.limited = false;
        if (status == 0) {
            const bool right = lua_toboolean(L, -1) != 0;
            lua_close(L);
            return right ? static_cast<int>(limit) : -1;
        }
        const char *err = lua_tostring(L, -1);
        if ((status != LUA_ERRMEM && status != LUA_ERRRUN) || !memory_message(err)) {
            std::fprintf(stderr, "n=%d limit=%ld: unexpected error %d: %s\n", n, limit, status,
                         err != nullptr ? err : "(not a string)");
            lua_close(L);
            return -1;
        }
        lua_close(L);
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder holding vorsel.so>\n", argv[0]);
        return 2;
    }
    int failures = 0;
    int runs = 0;
    for (bool on_strings : {false, true}) {
        for (int n : {1, 7, 8, 100, 4096, 70000}) {
            for (bool decrypting : {false, true}) {
                const int attempts = exercise(argv[1], n, decrypting, on_strings);
                std::printf("%s%s of %d bytes: %d failed allocations before success\n",
                            on_strings ? "vorsel.strings." : "", decrypting ? "decrypt" : "encrypt", n, attempts);
                failures += attempts < 0 ? 1 : 0;
                ++runs;
            }
        }
    }
    std::printf("%d passed, %d failed\n", runs - failures, failures);
    return failures == 0 ? 0 : 1;
}
