// Eight Lua states on eight threads at once, each loading the module and
// looping through encrypt, decrypt, a wrong-key decrypt and an argument
// error, and vorsel.strings' encrypt, decrypt and wrong key, checking every
// result. Run under helgrind (or ThreadSanitizer in the sanitizer build) it
// shows the module shares nothing between states.
//
// usage: threads_host <folder holding the module> [rounds per thread]
#include <lua.hpp>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int THREADS = 8;

// Each thread's own data (seeded by its number), so that a result that
// crossed from another state would not match.
const char *const LOOP = R"lua(
    local vorsel = require("vorsel")
    local strings = require("vorsel.strings")
    local seed, rounds = ...
    local key, other = {}, {}
    for i = 1, 16 do key[i] = (i * 13 + seed) % 256; other[i] = key[i] end
    other[16] = (other[16] + 1) % 256
    for r = 1, rounds do
      local n = 1 + (r * 37 + seed * 11) % 300
      local input = {}
      for i = 1, n do input[i] = (i * seed + r) % 256 end
      local sealed = vorsel.encrypt(input, key)
      assert(#sealed % 16 == 0 and #sealed >= n + 9, "sealed length")
      local back = vorsel.decrypt(sealed, key)
      assert(#back == n, "payload length")
      for i = 1, n do assert(back[i] == input[i], "payload byte") end
      local ok, err = pcall(vorsel.decrypt, sealed, other)
      assert(not ok and err == "crypto.encrypt: invalid encrypted data format", "wrong key: " .. tostring(err))
      ok, err = pcall(vorsel.encrypt, input)
      assert(not ok and err == "crypto.encrypt: invalid number of arguments (should be 2)", "arguments")
      -- vorsel.strings, past its stack buffer now and then.
      local text = string.char((table.unpack or unpack)(input)):rep(r % 3 == 0 and 20 or 1)
      local s_sealed = strings.encrypt(text, key)
      assert(strings.decrypt(s_sealed, key) == text, "strings payload")
      assert(not pcall(strings.decrypt, s_sealed, other), "strings wrong key")
      local sealer, opener = strings.sealer(key, #text), strings.opener(key)
      local cut = 1 + r % 40
      local s_parts = sealer:update(text:sub(1, cut)) .. sealer:update(text:sub(cut + 1)) .. sealer:final()
      assert(s_parts == s_sealed, "sealer")
      assert(opener:update(s_parts:sub(1, cut)) .. opener:update(s_parts:sub(cut + 1)) .. opener:final() == text,
        "opener")
    end
    return rounds
)lua";

bool run_state(const std::string &cpath, int seed, int rounds)
{
    lua_State *L = luaL_newstate();
    if (L == nullptr) {
        return false;
    }
    luaL_openlibs(L);
    lua_getglobal(L, "package");
    lua_pushstring(L, cpath.c_str());
    lua_setfield(L, -2, "cpath");
    lua_settop(L, 0);
    bool ok = luaL_loadstring(L, LOOP) == 0;
    if (ok) {
        lua_pushinteger(L, seed);
        lua_pushinteger(L, rounds);
        ok = lua_pcall(L, 2, 1, 0) == 0 && lua_tointeger(L, -1) == rounds;
    }
    if (!ok) {
        std::fprintf(stderr, "thread %d: %s\n", seed, lua_isstring(L, -1) ? lua_tostring(L, -1) : "?");
    }
    lua_close(L);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <module folder> [rounds]\n", argv[0]);
        return 2;
    }
    const std::string cpath = std::string(argv[1]) + "/?.so";
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 400;
    std::atomic<int> passed{0};
    std::vector<std::thread> threads;
    for (int t = 1; t <= THREADS; ++t) {
        threads.emplace_back([&, t] {
            if (run_state(cpath, t, rounds)) {
                ++passed;
            }
        });
    }
    for (auto &th : threads) {
        th.join();
    }
    std::printf("%d of %d states passed %d rounds each\n", passed.load(), THREADS, rounds);
    return passed == THREADS ? 0 : 1;
}
