// encrypt and decrypt: argument checks, one buffer per call, the sealing
// core, and the result table.
//
// Lua errors are longjmps in stock Lua 5.1, so nothing here has a destructor,
// and the buffer is freed before every raise of the module's own. The
// runtime's own errors (memory, table size) can only come from creating the
// result table, and that happens before the buffer exists: once the buffer
// is allocated, the call makes no Lua call that can raise or run Lua code.
// The result is filled into slots that already exist, the buffer is freed,
// and the table is returned. decrypt deciphers the first block once before
// all this, to learn the payload's length (or the format error) while it
// holds nothing. Nothing of a call is left where Lua can reach
// it, except the stateless table maker used for large results.
#include "binding/requests.hpp"

#include <cstdint>
#include <cstdlib>

#include "binding/byte_table.hpp"
#include "binding/error_level.hpp"
#include "binding/lua_compat.hpp"
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

// Results longer than this are created under lua_pcall, so that the
// runtime's size error can be told apart and answered by growing the table
// (LuaJIT creates tables of at most 2^27 + 1 array slots, but grows them
// further). Below it no runtime has a size error and the call is direct.
constexpr std::uint32_t PROTECTED_RESULT = 65536;

// Stack slots of one call.
constexpr int INPUT = 1;
constexpr int KEY = 2;
constexpr int RESULT = 3;

// Pushes a table created with room for argument 1 elements (0 when that is
// not a count the module could ask for). It holds no pointer and no state:
// Lua code that finds it through the debug library may call it with
// anything, at any time.
int make_result_table(lua_State *L)
{
    const lua_Number n = lua_tonumber(L, 1);
    const bool valid = n >= 0 && n <= static_cast<lua_Number>(MAX_SEALED_BYTES);
    lua_createtable(L, valid ? static_cast<int>(n) : 0, 0);
    return 1;
}

// Sets keys 1 .. count of the table on top, so that every slot exists.
void grow_to(lua_State *L, std::uint32_t count)
{
    const int n = static_cast<int>(count);
    for (int k = 1; k <= n; ++k) {
        push_byte(L, 0);
        lua_rawseti(L, -2, k);
    }
}

// Pushes the result table with a slot for each of keys 1 .. count. Called
// while the call holds nothing, so every error here is simply the runtime's.
void push_result_table(lua_State *L, std::uint32_t count)
{
    if (count <= PROTECTED_RESULT) {
        lua_createtable(L, static_cast<int>(count), 0);
        return;
    }
    lua_pushcfunction(L, make_result_table);
    lua_pushnumber(L, count);
    const int status = lua_pcall(L, 1, 1, 0);
    if (status == LUA_ERRMEM) {
        lua_error(L); /* the runtime's memory error, unchanged */
    }
    // With a hook set, Lua code may have changed what the maker was asked
    // for or what it gave back: then, as after the runtime's size error, a
    // new table is grown instead, every slot made by setting it.
    if (status == 0 && lua_type(L, -1) == LUA_TTABLE && lua_gethook(L) == nullptr) {
        return;
    }
    lua_settop(L, -2);
    lua_createtable(L, 0, 0);
    grow_to(L, count);
}

int crypto_process(lua_State *L, int direction)
{
    const bool encrypting = direction == ENCRYPT;
    if (lua_gettop(L) != 2) {
        return raise_error(L, MSG_ARGS);
    }
    if (lua_type(L, INPUT) != LUA_TTABLE) {
        return raise_error(L, MSG_INPUT);
    }
    if (lua_type(L, KEY) != LUA_TTABLE) {
        return raise_error(L, MSG_KEY);
    }
    // n - 1 wraps for n = 0, so one test rejects both the empty table and
    // anything above the limit.
    const std::size_t n = raw_length(L, INPUT);
    const std::size_t limit = encrypting ? MAX_INPUT_BYTES : MAX_SEALED_BYTES;
    if (n - 1 > limit - 1) {
        return raise_error(L, MSG_INPUT);
    }
    if (raw_length(L, KEY) != KEY_BYTES) {
        return raise_error(L, MSG_KEY);
    }

    const auto length = static_cast<std::uint32_t>(n);
    const seal_sizes sizes = encrypting ? seal_layout(length) : seal_sizes{0, length};
    const std::uint32_t header = encrypting ? SEAL_HEADER_SIZE : 0;
    std::uint8_t key[KEY_BYTES];
    std::uint32_t count = sizes.total; // elements of the result
    std::uint32_t end = 0;
    if (!encrypting) {
        // The first block and the key tell the payload's length (or the
        // format error) before anything is allocated.
        std::uint8_t first[BLOCK_BYTES];
        std::uint8_t pad = 0;
        const std::int64_t head = n < BLOCK_BYTES ? 0 : BLOCK_BYTES;
        if (read_byte_table(L, INPUT, first, head, 0) != 0) {
            return raise_error(L, MSG_INPUT);
        }
        if (read_byte_table(L, KEY, key, KEY_BYTES, 0) != 0) {
            return raise_error(L, MSG_KEY);
        }
        if (unseal_header(first, length, key, &pad, &end) != 0) {
            return raise_error(L, MSG_FORMAT);
        }
        count = end > SEAL_HEADER_SIZE ? end - SEAL_HEADER_SIZE : 0;
    }

    push_result_table(L, count);
    // Lua code may have run while the table was made (a finalizer, a hook)
    // and replaced what the stack holds: the reads below test the arguments
    // again, this tests the result, and decrypt checks that the payload
    // still has the length the table was made for.
    if (lua_type(L, RESULT) != LUA_TTABLE) {
        return raise_error(L, MSG_MEMORY);
    }

    auto *buffer = static_cast<std::uint8_t *>(std::malloc(sizes.total));
    if (buffer == nullptr) {
        return raise_error(L, MSG_MEMORY);
    }
    if (read_byte_table(L, INPUT, buffer, static_cast<std::int64_t>(n), header) != 0) {
        std::free(buffer);
        return raise_error(L, MSG_INPUT);
    }
    if (encrypting) {
        seal_frame(buffer, length, sizes.pad);
        if (read_byte_table(L, KEY, key, KEY_BYTES, 0) != 0) {
            std::free(buffer);
            return raise_error(L, MSG_KEY);
        }
        seal_encipher(buffer, sizes.total, key);
        fill_byte_table(L, RESULT, buffer, count);
    } else {
        std::uint8_t pad = 0;
        std::uint32_t unsealed_end = 0;
        if (unseal(buffer, sizes.total, key, &pad, &unsealed_end) != 0 || unsealed_end != end) {
            std::free(buffer);
            return raise_error(L, MSG_FORMAT);
        }
        fill_byte_table(L, RESULT, buffer + SEAL_HEADER_SIZE, count);
    }
    std::free(buffer);
    lua_settop(L, RESULT);
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
