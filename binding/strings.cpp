// vorsel.strings: encrypt(text, key) and decrypt(sealed, key) on Lua
// strings, in the sealed format of vorsel.encrypt and vorsel.decrypt and
// through the same cipher cores. A library of its own (vorsel/strings.so).
//
// A call makes its result in one buffer of the result's exact length: on
// the C stack up to STACK_BYTES, above that a block from the Lua state's own
// allocator (so that a host's limits and failures apply to it too). The
// cipher reads the input and writes the result there in one pass (decrypt
// lays the payload out at the start, leaving the header and the padding
// out). The string is then a copy of the buffer, or on Lua 5.5 the block
// itself (binding/string_work.hpp).
#include <lua.hpp>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "binding/export.hpp"
#include "binding/streams.hpp"
#include "binding/string_work.hpp"
#include "seal/sealed_buffer.hpp"

namespace {

// Stack slots of one call.
constexpr int TEXT = 1;
constexpr int KEY = 2;
constexpr int HELPER = 3;

// One call, as its arguments give it.
struct request {
    const char *fn;             // "encrypt" or "decrypt", for the messages
    lua_CFunction self;         // strings_encrypt or strings_decrypt
    bool sealing;
    std::uint32_t n;            // the input's length
    std::uint32_t size;         // the result's length
    std::uint8_t key[KEY_BYTES];
};

// Raises "vorsel.strings.<fn>: <what>" (the caller's position first, as
// luaL_error gives it). Nothing of the call's is held when it is called.
int fail(lua_State *L, const char *fn, const char *what)
{
    return luaL_error(L, "vorsel.strings.%s: %s", fn, what);
}

// The start of a call, again after any point where Lua code ran: the helper
// pushed (HELPER; Lua code may run there, before anything is looked at),
// then the input's type, the key's type and size, the input's size, the
// key read and, for decrypt, the first block's header. Returns 0 with *req
// filled in, or -1 with the message to raise in `message`.
int begin(lua_State *L, request *req, char *message, std::size_t size)
{
    lua_settop(L, KEY);
    push_helper(L);
    const char *input = req->sealing ? "text" : "sealed";
    if (lua_type(L, TEXT) != LUA_TSTRING) {
        char came[64];
        describe(L, TEXT, came, sizeof came);
        static_cast<void>(std::snprintf(message, size, "argument #1 (%s) must be a string, got %s", input, came));
        return -1;
    }
    if (read_key(L, KEY, 2, req->key, message, size) != 0) {
        return -1;
    }
    const std::size_t n = raw_length(L, TEXT); // compared at full width
    if (req->sealing && n > MAX_INPUT_BYTES) {
        static_cast<void>(std::snprintf(message, size, "argument #1 (text) must be at most %u bytes, got %zu",
                                        static_cast<unsigned>(MAX_INPUT_BYTES), n));
        return -1;
    }
    if (!req->sealing && (n < BLOCK_BYTES || n > MAX_SEALED_BYTES || n % BLOCK_BYTES != 0)) {
        static_cast<void>(std::snprintf(message, size,
                                        "argument #1 (sealed) must be whole 16-byte blocks, 16 to %u bytes, got %zu",
                                        static_cast<unsigned>(MAX_SEALED_BYTES), n));
        return -1;
    }
    req->n = static_cast<std::uint32_t>(n);
    if (req->sealing) {
        req->size = seal_layout(req->n).total;
        return 0;
    }
    // The first block tells the format error before anything is allocated.
    std::uint8_t pad = 0;
    std::uint32_t end = 0;
    if (unseal_header(reinterpret_cast<const std::uint8_t *>(lua_tolstring(L, TEXT, nullptr)), req->n, req->key,
                      &pad, &end) != 0) {
        static_cast<void>(std::snprintf(message, size, "invalid encrypted data format (not sealed data, or a wrong key)"));
        return -1;
    }
    req->size = end > SEAL_HEADER_SIZE ? end - SEAL_HEADER_SIZE : 0;
    return 0;
}

// The working buffer for *req. A block that cannot be had gets Lua's own
// second chance, a full collection and one more try; the collection runs
// finalizers, so the call begins again after it. Returns 0, or -1 with the
// message to raise.
int get_buffer(lua_State *L, request *req, work_buffer *work, char *message, std::size_t size)
{
    for (int tries = 0; tries < 2; ++tries) {
        if (take_buffer(L, work, req->size) || tries == 1) {
            break;
        }
        lua_gc(L, LUA_GCCOLLECT, 0);
        if (begin(L, req, message, size) != 0) {
            return -1;
        }
    }
    if (work->bytes == nullptr) {
        memory_message(req->size, message, size);
        return -1;
    }
    return 0;
}

// Pushes the result from the buffer. Raises the memory message, or
// whatever else the making of the string raised.
int push_result(lua_State *L, const request *req, work_buffer *work)
{
    if (work->block == 0) { /* from the C stack: a raise here loses nothing */
        lua_pushlstring(L, reinterpret_cast<const char *>(work->bytes), req->size);
        return 1;
    }
    lua_settop(L, HELPER);
    const int status = push_result_of(L, req->self, work, req->size);
    if (status == LUA_ERRMEM) {
        char message[80];
        memory_message(req->size, message, sizeof message);
        return fail(L, req->fn, message);
    }
    if (status != 0) {
        return lua_error(L); /* the error as it came */
    }
    if (lua_type(L, -1) != LUA_TSTRING) { /* the helper was refused its job: Lua code meddled */
        return fail(L, req->fn, "the result could not be made");
    }
    return 1;
}

// Both requests: checks, the buffer, the cipher, the result.
int run_request(lua_State *L, request *req)
{
    char message[160];
    const int given = lua_gettop(L);
    if (given != 2) {
        static_cast<void>(std::snprintf(message, sizeof message, "2 arguments expected (%s, key), got %d",
                                        req->sealing ? "text" : "sealed", given));
        return fail(L, req->fn, message);
    }
    work_buffer work;
    if (begin(L, req, message, sizeof message) != 0 || get_buffer(L, req, &work, message, sizeof message) != 0) {
        return fail(L, req->fn, message);
    }
    // No Lua code runs from begin's last checks to push_result: the input's
    // bytes are read here, through a pointer fetched here. For decrypt,
    // begin checked this header with the same key, so unsealing succeeds
    // with the same end.
    const auto *input = reinterpret_cast<const std::uint8_t *>(lua_tolstring(L, TEXT, nullptr));
    std::uint8_t pad = 0;
    std::uint32_t end = 0;
    if (req->sealing) {
        seal_text(work.bytes, input, req->n, req->key);
    } else {
        static_cast<void>(unseal_payload(work.bytes, input, req->n, req->key, &pad, &end));
    }
    return push_result(L, req, &work);
}

int strings_encrypt(lua_State *L)
{
    request req = {"encrypt", strings_encrypt, true, 0, 0, {}};
    return run_request(L, &req);
}

int strings_decrypt(lua_State *L)
{
    request req = {"decrypt", strings_decrypt, false, 0, 0, {}};
    return run_request(L, &req);
}

const luaL_Reg strings_reg[] = {
    {"encrypt", strings_encrypt},
    {"decrypt", strings_decrypt},
    {nullptr, nullptr},
};

} // namespace

// require "vorsel.strings": a new table with the functions and the two
// stream makers; no global.
VORSEL_EXPORT int luaopen_vorsel_strings(lua_State *L)
{
    new_library(L, strings_reg);
    add_streams(L);
    return 1;
}
