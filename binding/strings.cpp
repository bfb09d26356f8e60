// vorsel.strings: encrypt(text, key) and decrypt(sealed, key) on Lua
// strings, in the sealed format of vorsel.encrypt and vorsel.decrypt and
// through the same cipher cores. A library of its own (vorsel/strings.so).
//
// Memory: one working buffer beside the input and the result. Up to
// STACK_BYTES it is on the C stack; above, a block from the Lua state's own
// allocator (so that a host's limits and failures apply to it too). The
// cipher reads the input and writes the buffer in one pass, and the result
// string is copied from the buffer.
//
// Lua errors are longjmps in stock Lua 5.1, and Lua code can run at every
// API call that allocates (a finalizer run by the collector), where it may
// rewrite any of the call's stack slots through the debug library and the
// collector may then free what was in them. So:
//   - Lua code can run at two points only: when the copy helper is pushed
//     (first of all, before any argument is looked at) and when the result
//     string is made (last, from memory that is ours, not Lua's).
//   - The input string's bytes are read only between those two points,
//     through a pointer fetched after the first; nothing in between
//     allocates from Lua.
//   - A result made from a block is made under lua_pcall by the copy
//     helper, so that whatever it raises (a memory error, a finalizer's
//     error) comes back here, where the block is freed before the error
//     goes on. The helper is reachable from Lua (a finalizer can fetch it
//     with debug.getinfo), so it trusts nothing: it copies only when its
//     caller is one of this module's requests and its argument a light
//     userdata. The request turns off the thread's debug hook across the
//     lua_pcall, so no hook can swap that argument before the helper reads
//     it; the hook is restored right after.
#include <lua.hpp>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "binding/byte_table.hpp"
#include "binding/export.hpp"
#include "binding/lua_compat.hpp"
#include "seal/sealed_buffer.hpp"

namespace {

// Stack slots of one call.
constexpr int TEXT = 1;
constexpr int KEY = 2;
constexpr int HELPER = 3;

// Results up to this size are made from a buffer on the C stack.
constexpr std::size_t STACK_BYTES = 4096;

static_assert(STACK_BYTES % BLOCK_BYTES == 0);

// What the copy helper copies: bytes that belong to the running request.
struct copy_job {
    const std::uint8_t *bytes;
    std::size_t length;
};

int strings_encrypt(lua_State *L);
int strings_decrypt(lua_State *L);

// Whether the function at stack level 1 (the caller of the running C
// function) is one of the requests.
bool called_by_request(lua_State *L)
{
    lua_Debug ar;
    if (lua_getstack(L, 1, &ar) == 0 || lua_getinfo(L, "f", &ar) == 0) {
        return false;
    }
    const lua_CFunction caller = lua_tocfunction(L, -1); /* the caller on top */
    lua_settop(L, -2);
    return caller == strings_encrypt || caller == strings_decrypt;
}

// The copy helper: pushes the job's bytes as a string. Returns nothing
// unless a request called it with a light userdata.
int push_copy(lua_State *L)
{
    if (lua_type(L, 1) != LUA_TLIGHTUSERDATA || !called_by_request(L)) {
        return 0;
    }
    const auto *job = static_cast<const copy_job *>(lua_touserdata(L, 1));
    lua_pushlstring(L, reinterpret_cast<const char *>(job->bytes), job->length);
    return 1;
}

void *allocate(lua_State *L, std::size_t size)
{
    void *ud = nullptr;
    const lua_Alloc alloc = lua_getallocf(L, &ud);
    return alloc(ud, nullptr, 0, size);
}

void release(lua_State *L, void *block, std::size_t size)
{
    void *ud = nullptr;
    const lua_Alloc alloc = lua_getallocf(L, &ud);
    alloc(ud, block, size, 0);
}

// Raises "vorsel.strings.<fn>: <what>" (the caller's position first, as
// luaL_error gives it). Nothing of the call's is held when it is called.
int fail(lua_State *L, const char *fn, const char *what)
{
    return luaL_error(L, "vorsel.strings.%s: %s", fn, what);
}

// A description of a value that came where bytes were expected.
void describe(lua_State *L, int index, char *out, std::size_t size)
{
    const int type = lua_type(L, index);
    if (type == LUA_TSTRING) {
        static_cast<void>(std::snprintf(out, size, "a string of %zu bytes", raw_length(L, index)));
    } else if (type == LUA_TTABLE) {
        static_cast<void>(std::snprintf(out, size, "a table of %zu elements", raw_length(L, index)));
    } else {
        static_cast<void>(std::snprintf(out, size, "%s", lua_typename(L, type)));
    }
}

// The start of both requests: the count checked, then the copy helper
// pushed (HELPER; Lua code may run there, before anything is looked at),
// then the input's type, the key's type and size, and the input's size.
// Returns nullptr with *n set to the input's length, or the message (in
// `message`) to raise.
const char *start_request(lua_State *L, bool sealing, std::size_t *n, char *message, std::size_t size)
{
    const char *input = sealing ? "text" : "sealed";
    const int given = lua_gettop(L);
    if (given != 2) {
        static_cast<void>(std::snprintf(message, size, "2 arguments expected (%s, key), got %d", input, given));
        return message;
    }
    lua_pushcfunction(L, push_copy);
    char came[64];
    if (lua_type(L, TEXT) != LUA_TSTRING) {
        describe(L, TEXT, came, sizeof came);
        static_cast<void>(std::snprintf(message, size, "argument #1 (%s) must be a string, got %s", input, came));
        return message;
    }
    const int key_type = lua_type(L, KEY);
    if ((key_type != LUA_TSTRING && key_type != LUA_TTABLE) || raw_length(L, KEY) != KEY_BYTES) {
        describe(L, KEY, came, sizeof came);
        static_cast<void>(std::snprintf(
            message, size, "argument #2 (key) must be a 16-byte string or a table of 16 bytes, got %s", came));
        return message;
    }
    *n = raw_length(L, TEXT);
    if (sealing && *n > MAX_INPUT_BYTES) {
        static_cast<void>(std::snprintf(message, size, "argument #1 (text) must be at most %u bytes, got %zu",
                                        static_cast<unsigned>(MAX_INPUT_BYTES), *n));
        return message;
    }
    if (!sealing && (*n < BLOCK_BYTES || *n > MAX_SEALED_BYTES || *n % BLOCK_BYTES != 0)) {
        static_cast<void>(std::snprintf(message, size,
                                        "argument #1 (sealed) must be whole 16-byte blocks, 16 to %u bytes, got %zu",
                                        static_cast<unsigned>(MAX_SEALED_BYTES), *n));
        return message;
    }
    return nullptr;
}

void read_key(lua_State *L, std::uint8_t key[KEY_BYTES])
{
    if (lua_type(L, KEY) == LUA_TSTRING) {
        std::memcpy(key, lua_tolstring(L, KEY, nullptr), KEY_BYTES);
    } else {
        read_elements(L, KEY, 1, KEY_BYTES, key);
    }
}

// Pushes bytes[0 .. length) as the result string and frees the working
// buffer `work` of `size` bytes when it is a block (not `local`). Raises the
// memory message, or whatever else the making of the string raised.
int push_result(lua_State *L, const char *fn, const std::uint8_t *bytes, std::size_t length,
                std::uint8_t *work, std::size_t size, const std::uint8_t *local)
{
    if (work == local) {
        lua_pushlstring(L, reinterpret_cast<const char *>(bytes), length);
        return 1;
    }
    copy_job job = {bytes, length};
    lua_settop(L, HELPER);
    lua_pushlightuserdata(L, &job);
    const lua_Hook hook = lua_gethook(L);
    const int mask = lua_gethookmask(L);
    const int count = lua_gethookcount(L);
    lua_sethook(L, nullptr, 0, 0);
    const int status = lua_pcall(L, 1, 1, 0);
    lua_sethook(L, hook, mask, count);
    release(L, work, size);
    if (status == LUA_ERRMEM) {
        char what[80];
        static_cast<void>(std::snprintf(what, sizeof what, "not enough memory for a result of %zu bytes", length));
        return fail(L, fn, what);
    }
    if (status != 0) {
        return lua_error(L); /* the error as it came */
    }
    if (lua_type(L, -1) != LUA_TSTRING) { /* the helper refused: never in a call as made here */
        return fail(L, fn, "the result could not be made");
    }
    return 1;
}

int strings_encrypt(lua_State *L)
{
    char message[160];
    std::size_t n = 0;
    if (start_request(L, true, &n, message, sizeof message) != nullptr) {
        return fail(L, "encrypt", message);
    }
    const seal_sizes sizes = seal_layout(static_cast<std::uint32_t>(n));
    std::uint8_t local[STACK_BYTES];
    std::uint8_t *work = sizes.total <= STACK_BYTES ? local : static_cast<std::uint8_t *>(allocate(L, sizes.total));
    if (work == nullptr) {
        static_cast<void>(
            std::snprintf(message, sizeof message, "not enough memory for a result of %u bytes", sizes.total));
        return fail(L, "encrypt", message);
    }
    // No Lua code runs from here to push_result.
    std::uint8_t key[KEY_BYTES];
    read_key(L, key);
    seal_text(work, reinterpret_cast<const std::uint8_t *>(lua_tolstring(L, TEXT, nullptr)), static_cast<std::uint32_t>(n),
              key);
    return push_result(L, "encrypt", work, sizes.total, work, sizes.total, local);
}

int strings_decrypt(lua_State *L)
{
    char message[160];
    std::size_t n = 0;
    if (start_request(L, false, &n, message, sizeof message) != nullptr) {
        return fail(L, "decrypt", message);
    }
    std::uint8_t key[KEY_BYTES];
    read_key(L, key);
    const auto *sealed = reinterpret_cast<const std::uint8_t *>(lua_tolstring(L, TEXT, nullptr));
    std::uint8_t pad = 0;
    std::uint32_t end = 0;
    const auto length = static_cast<std::uint32_t>(n);
    // The first block tells the format error before anything is allocated.
    if (unseal_header(sealed, length, key, &pad, &end) != 0) {
        return fail(L, "decrypt", "invalid encrypted data format (not sealed data, or a wrong key)");
    }
    std::uint8_t local[STACK_BYTES];
    std::uint8_t *work = n <= STACK_BYTES ? local : static_cast<std::uint8_t *>(allocate(L, n));
    if (work == nullptr) {
        static_cast<void>(std::snprintf(message, sizeof message, "not enough memory for a result of %u bytes",
                      end > SEAL_HEADER_SIZE ? end - SEAL_HEADER_SIZE : 0));
        return fail(L, "decrypt", message);
    }
    // No Lua code runs from here to push_result: the pointer is still good.
    aes128_decrypt_blocks_to(work, sealed, n / BLOCK_BYTES, key);
    const std::uint32_t from = SEAL_HEADER_SIZE;
    const std::uint32_t to = end > from ? end : from;
    return push_result(L, "decrypt", work + from, to - from, work, n, local);
}

const luaL_Reg strings_reg[] = {
    {"encrypt", strings_encrypt},
    {"decrypt", strings_decrypt},
    {nullptr, nullptr},
};

} // namespace

// require "vorsel.strings": a new table with the two functions; no global.
VORSEL_EXPORT int luaopen_vorsel_strings(lua_State *L)
{
    new_library(L, strings_reg);
    return 1;
}
