// encrypt and decrypt: argument checks, one buffer per call, the sealing
// core, and the result table.
//
// Lua errors are longjmps in stock Lua 5.1, so nothing here has a destructor,
// and the buffer is freed before every raise. The only Lua call that can
// raise while the buffer is held is the building of the result table; it runs
// under lua_pcall, and its error is re-raised unchanged after the free.
#include "binding/requests.hpp"

#include <cstdint>
#include <cstdlib>

#include "binding/byte_table.hpp"
#include "binding/error_level.hpp"
#include "seal/sealed_buffer.hpp"

namespace {

constexpr const char MSG_ARGS[] = "crypto.encrypt: invalid number of arguments (should be 2)";
constexpr const char MSG_INPUT[] = "crypto.encrypt: invalid argument #1 (input)";
constexpr const char MSG_KEY[] = "crypto.encrypt: invalid argument #2 (key)";
constexpr const char MSG_MEMORY[] = "crypto.encrypt: insufficient memory";
constexpr const char MSG_FORMAT[] = "crypto.encrypt: invalid encrypted data format";

// The longest input encrypt takes, and the longest sealed table it makes
// from it (which decrypt therefore takes).
constexpr std::size_t MAX_INPUT_BYTES = 268435456;
constexpr std::size_t MAX_SEALED_BYTES = MAX_INPUT_BYTES + 16;

constexpr int ENCRYPT = 0; // any other direction decrypts
constexpr int DECRYPT = 1;

// What the protected builder turns into the result table.
struct result_range {
    const std::uint8_t *bytes;
    std::uint32_t first;
    std::uint32_t end;
};

// Called through lua_pcall with the range as light userdata.
int build_result(lua_State *L)
{
    const auto *range = static_cast<const result_range *>(lua_touserdata(L, 1));
    push_byte_table(L, range->bytes, range->first, range->end);
    return 1;
}

int crypto_process(lua_State *L, int direction)
{
    const bool encrypting = direction == ENCRYPT;
    if (lua_gettop(L) != 2) {
        return luaL_errorlevel(L, MSG_ARGS);
    }
    if (lua_type(L, 1) != LUA_TTABLE) {
        return luaL_errorlevel(L, MSG_INPUT);
    }
    if (lua_type(L, 2) != LUA_TTABLE) {
        return luaL_errorlevel(L, MSG_KEY);
    }
    // n - 1 wraps for n = 0, so one test rejects both the empty table and
    // anything above the limit.
    const std::size_t n = lua_objlen(L, 1);
    const std::size_t limit = encrypting ? MAX_INPUT_BYTES : MAX_SEALED_BYTES;
    if (n - 1 > limit - 1) {
        return luaL_errorlevel(L, MSG_INPUT);
    }
    if (lua_objlen(L, 2) != KEY_BYTES) {
        return luaL_errorlevel(L, MSG_KEY);
    }

    const auto length = static_cast<std::uint32_t>(n);
    const seal_sizes sizes = encrypting ? seal_layout(length) : seal_sizes{0, length};
    const std::uint32_t header = encrypting ? SEAL_HEADER_SIZE : 0;

    // Pushed before the buffer exists: these may raise, nothing is held yet.
    result_range range{nullptr, 0, 0};
    lua_pushcfunction(L, build_result);
    lua_pushlightuserdata(L, &range);

    auto *buffer = static_cast<std::uint8_t *>(std::malloc(sizes.total));
    if (buffer == nullptr) {
        return luaL_errorlevel(L, MSG_MEMORY);
    }
    if (read_byte_table(L, 1, buffer, static_cast<std::int64_t>(n), header) != 0) {
        std::free(buffer);
        return luaL_errorlevel(L, MSG_INPUT);
    }
    if (encrypting) {
        seal_frame(buffer, length, sizes.pad);
    }
    std::uint8_t key[KEY_BYTES];
    if (read_byte_table(L, 2, key, KEY_BYTES, 0) != 0) {
        std::free(buffer);
        return luaL_errorlevel(L, MSG_KEY);
    }

    if (encrypting) {
        seal_encipher(buffer, sizes.total, key);
        range = {buffer, 0, sizes.total};
    } else {
        std::uint8_t pad = 0;
        std::uint32_t end = 0;
        if (unseal(buffer, sizes.total, key, &pad, &end) != 0) {
            std::free(buffer);
            return luaL_errorlevel(L, MSG_FORMAT);
        }
        range = {buffer, SEAL_HEADER_SIZE, end};
    }

    const int status = lua_pcall(L, 1, 1, 0); /* result or the runtime's error on top */
    std::free(buffer);
    if (status != 0) {
        return lua_error(L);
    }
    return 1;
}

} // namespace

int crypto_encrypt(lua_State *L)
{
    return crypto_process(L, ENCRYPT);
}

int crypto_decrypt(lua_State *L)
{
    return crypto_process(L, DECRYPT);
}
