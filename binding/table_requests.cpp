// vorsel.encrypt and vorsel.decrypt on byte tables: argument checks, the
// result table, and the sealing core run over the tables a chunk at a time
// (a fixed chunk on the C stack; the only allocation is the result table,
// which Lua owns from the start). Lua code can run at one point of a call,
// while the result table is made; after it every argument is checked again
// exactly as the first time, and from then on the call makes only raw reads
// and raw writes, which run no Lua code.
#include "binding/table_requests.hpp"

#include <cstdint>
#include <cstring>

#include "binding/byte_table.hpp"
#include "binding/error_level.hpp"
#include "binding/lua_compat.hpp"
#include "binding/protected.hpp"
#include "seal/sealed_buffer.hpp"

#if LUA_VERSION_NUM == 501 && defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#define NOUSER // no INPUT and the like from winuser.h
#include <windows.h>
#elif LUA_VERSION_NUM == 501
// LuaJIT's, where the host is LuaJIT; null elsewhere.
extern "C" int luaJIT_setmode(lua_State *L, int idx, int mode) __attribute__((weak));
#endif

namespace {

// A call's failures: an integer from each internal function, turned into
// a message only by the Lua-facing ones (fail).
enum fault : int {
    FAULT_NONE,
    FAULT_ARGS,
    FAULT_INPUT,
    FAULT_KEY,
    FAULT_MEMORY,
    FAULT_FORMAT,
    FAULT_RAISED, // the runtime's own error, on top of the stack, goes on unchanged
};

constexpr const char *MESSAGES[] = {
    nullptr,
    "crypto.encrypt: invalid number of arguments (should be 2)",
    "crypto.encrypt: invalid argument #1 (input)",
    "crypto.encrypt: invalid argument #2 (key)",
    "crypto.encrypt: insufficient memory",
    "crypto.encrypt: invalid encrypted data format",
};

// Stack slots of one call.
constexpr int INPUT = 1;
constexpr int KEY = 2;
constexpr int RESULT = 3;

// The bytes a call works on at a time: whole blocks.
constexpr std::uint32_t CHUNK_BYTES = 512;
static_assert(CHUNK_BYTES % BLOCK_BYTES == 0 && CHUNK_BYTES > SEAL_HEADER_SIZE);

// Results longer than this are created under lua_pcall, so that a memory
// error can be told apart and reported with the module's message; any other
// error raised in there (an interrupt, a hook's error, a C stack overflow)
// is raised again unchanged. Below this the call is direct.
constexpr std::uint32_t PROTECTED_RESULT = 65536;

// LuaJIT's tables: an array part of at most 2^27 + 1 slots (keys 0 to
// 2^27), and beyond it at most 2^26 keys in the hash part.
constexpr std::uint32_t LUAJIT_ARRAY = 134217728;
constexpr std::uint32_t LUAJIT_MOST = LUAJIT_ARRAY + 67108864;

std::uint32_t min_of(std::uint32_t a, std::uint32_t b)
{
    return a < b ? a : b;
}

// The argument tests after the count: both types, then the input's length
// (1 to `limit`), then the key's (16). Returns the fault of the first that
// fails, or FAULT_NONE with *n set to the input's length.
int argument_fault(lua_State *L, std::uint32_t limit, std::uint32_t *n)
{
    if (lua_type(L, INPUT) != LUA_TTABLE) {
        return FAULT_INPUT;
    }
    if (lua_type(L, KEY) != LUA_TTABLE) {
        return FAULT_KEY;
    }
    // Compared at full width; length - 1 wraps for 0, so one test rejects
    // both the empty table and anything above the limit.
    const std::size_t length = raw_length(L, INPUT);
    if (length - 1 > limit - 1) {
        return FAULT_INPUT;
    }
    if (raw_length(L, KEY) != KEY_BYTES) {
        return FAULT_KEY;
    }
    *n = static_cast<std::uint32_t>(length);
    return FAULT_NONE;
}

// argument_fault once Lua code may have run: the input must also still have
// the length the call started with.
int argument_fault_again(lua_State *L, std::uint32_t limit, std::uint32_t n)
{
    std::uint32_t now = 0;
    const int fault = argument_fault(L, limit, &now);
    return fault == FAULT_NONE && now != n ? FAULT_INPUT : fault;
}

void push_table(lua_State *L, const protected_job *job)
{
    lua_createtable(L, static_cast<int>(job->length), 0);
}

// Whether the running interpreter is LuaJIT (the module's 5.1 build runs in
// both): whether the host's Lua API has LuaJIT's own luaJIT_setmode, which no
// script can add or take away. On ELF systems a weak reference, resolved
// from the host's exports when the module is loaded, as the rest of the API
// is; on Windows, looked up in the Lua DLL that the module imports from.
#if LUA_VERSION_NUM == 501 && defined(_WIN32)
bool running_luajit(lua_State *)
{
    const HMODULE lua = GetModuleHandleA(VORSEL_LUA_DLL);
    return lua != nullptr && GetProcAddress(lua, "luaJIT_setmode") != nullptr;
}
#elif LUA_VERSION_NUM == 501
bool running_luajit(lua_State *)
{
    return &luaJIT_setmode != nullptr;
}
#else
bool running_luajit(lua_State *)
{
    return false;
}
#endif

// Pushes the result table, made with room for `count` elements, but for
// LuaJIT's results above its largest array part, which start empty and grow
// as they are filled. Lua code may run here. Returns FAULT_NONE;
// FAULT_MEMORY when no table can be had for lack of memory, or none of the
// running interpreter can hold `count` elements (nothing pushed then);
// FAULT_RAISED when the runtime raised another error there.
int push_result_table(lua_State *L, std::uint32_t count, lua_CFunction self)
{
    std::uint32_t room = count;
    if (count > LUAJIT_ARRAY && running_luajit(L)) {
        if (count > LUAJIT_MOST) {
            return FAULT_MEMORY;
        }
        room = 0;
    }
    if (room <= PROTECTED_RESULT) {
        lua_createtable(L, static_cast<int>(room), 0);
        return FAULT_NONE;
    }
    const protected_job job = {push_table, self, nullptr, room, nullptr};
    push_helper(L);
    const int status = run_protected(L, &job);
    return status == 0 ? FAULT_NONE : status == LUA_ERRMEM ? FAULT_MEMORY : FAULT_RAISED;
}

// Pushes the result table for `count` elements, then tests the call's slots
// again, as Lua code may have run meanwhile: the arguments exactly as at the
// start, and the result slot, which must hold a table that is not an
// argument (the call still reads from those). Returns a fault, or
// FAULT_NONE; from then on no Lua code runs in the call.
int make_result(lua_State *L, std::uint32_t count, std::uint32_t limit, std::uint32_t n, lua_CFunction self)
{
    const int made = push_result_table(L, count, self);
    if (made != FAULT_NONE) {
        return made;
    }
    const int fault = argument_fault_again(L, limit, n);
    if (fault != FAULT_NONE) {
        return fault;
    }
    const bool usable = lua_type(L, RESULT) == LUA_TTABLE && lua_rawequal(L, RESULT, INPUT) == 0 &&
                        lua_rawequal(L, RESULT, KEY) == 0;
    return usable ? FAULT_NONE : FAULT_MEMORY;
}

// Plain bytes of the sealed buffer of an n-byte input from `offset` for
// `length` bytes: the header, input elements, the padding. The payload
// reaches into every chunk, as the padding is shorter than a block.
void read_plain_chunk(lua_State *L, std::uint8_t *chunk, std::uint32_t offset,
                      std::uint32_t length, std::uint32_t n, std::uint8_t pad)
{
    std::uint32_t at = 0;
    if (offset == 0) {
        seal_header(chunk, pad);
        at = SEAL_HEADER_SIZE;
    }
    const std::uint32_t payload_end = min_of(length, SEAL_HEADER_SIZE + n - offset);
    read_elements(L, INPUT, offset + at - SEAL_HEADER_SIZE + 1, payload_end - at, chunk + at);
    std::memset(chunk + payload_end, SEAL_PAD_BYTE, length - payload_end);
}

// Raises a fault: the runtime's error as it came, or the module's message.
int fail(lua_State *L, int fault)
{
    return fault == FAULT_RAISED ? lua_error(L) : raise_error(L, MESSAGES[fault]);
}

} // namespace

int crypto_encrypt(lua_State *L)
{
    if (lua_gettop(L) != 2) {
        return fail(L, FAULT_ARGS);
    }
    std::uint32_t n = 0;
    int fault = argument_fault(L, MAX_INPUT_BYTES, &n);
    if (fault != FAULT_NONE) {
        return fail(L, fault);
    }
    const seal_sizes sizes = seal_layout(n);

    fault = make_result(L, sizes.total, MAX_INPUT_BYTES, n, crypto_encrypt);
    if (fault != FAULT_NONE) {
        return fail(L, fault);
    }

    // No Lua code runs from here on.
    std::uint8_t key[KEY_BYTES];
    read_elements(L, KEY, 1, KEY_BYTES, key);
    std::uint8_t chunk[CHUNK_BYTES];
    for (std::uint32_t offset = 0; offset < sizes.total; offset += CHUNK_BYTES) {
        const std::uint32_t length = min_of(CHUNK_BYTES, sizes.total - offset);
        read_plain_chunk(L, chunk, offset, length, n, sizes.pad);
        seal_encipher(chunk, length, key);
        write_elements(L, RESULT, offset + 1, chunk, length);
    }
    lua_settop(L, RESULT);
    return 1;
}

int crypto_decrypt(lua_State *L)
{
    if (lua_gettop(L) != 2) {
        return fail(L, FAULT_ARGS);
    }
    std::uint32_t n = 0;
    int fault = argument_fault(L, MAX_SEALED_BYTES, &n);
    if (fault != FAULT_NONE) {
        return fail(L, fault);
    }

    // The first block and the key tell the payload's end (or the format
    // error) before the result table is made.
    std::uint8_t key[KEY_BYTES];
    std::uint8_t first[BLOCK_BYTES];
    read_elements(L, KEY, 1, KEY_BYTES, key);
    read_elements(L, INPUT, 1, min_of(n, BLOCK_BYTES), first);
    std::uint8_t pad = 0;
    std::uint32_t end = 0;
    if (unseal_header(first, n, key, &pad, &end) != 0) {
        return fail(L, FAULT_FORMAT);
    }
    const std::uint32_t count = end > SEAL_HEADER_SIZE ? end - SEAL_HEADER_SIZE : 0;

    fault = make_result(L, count, MAX_SEALED_BYTES, n, crypto_decrypt);
    if (fault != FAULT_NONE) {
        return fail(L, fault);
    }

    // No Lua code runs from here on. The arguments were checked again but
    // their elements may differ: the header is checked again too, and must
    // give the end the result was made for.
    read_elements(L, KEY, 1, KEY_BYTES, key);
    std::uint8_t chunk[CHUNK_BYTES];
    for (std::uint32_t offset = 0; offset < end; offset += CHUNK_BYTES) {
        const std::uint32_t length = min_of(CHUNK_BYTES, n - offset);
        read_elements(L, INPUT, offset + 1, length, chunk);
        seal_decipher(chunk, length, key);
        std::uint32_t checked_end = 0;
        if (offset == 0 && (unseal_check(chunk, n, &pad, &checked_end) != 0 || checked_end != end)) {
            return fail(L, FAULT_FORMAT);
        }
        // The payload is sealed bytes 9 .. end - 1: its part in this chunk.
        const std::uint32_t from = offset == 0 ? SEAL_HEADER_SIZE : offset;
        const std::uint32_t to = min_of(offset + length, end);
        if (from < to) {
            write_elements(L, RESULT, from - SEAL_HEADER_SIZE + 1, chunk + (from - offset), to - from);
        }
    }
    lua_settop(L, RESULT);
    return 1;
}
