// encrypt and decrypt: argument checks, the result table, and the sealing
// core run over the tables a chunk at a time.
//
// Lua errors are longjmps in stock Lua 5.1, so nothing here has a
// destructor, and the module holds no memory of its own that a raise could
// lose: a call works through a fixed chunk on the C stack, and the only
// thing it allocates, the result table, belongs to Lua from the start.
//
// Lua code can run at one point of a call: while the result table is made
// (a finalizer run by the collector's step, or a debug hook on the table
// maker). It may replace anything in the call's stack slots there, so after
// it every argument is checked again exactly as the first time. From then
// on the call makes only raw reads and raw writes, which run no Lua code,
// so the arguments stay as checked. Writes into a table that debug-library
// code put in the result slot may have to grow it, and the runtime may then
// raise its memory or size error; nothing is lost when it does.
#include "binding/requests.hpp"

#include <cstdint>
#include <cstring>

#include "binding/byte_table.hpp"
#include "binding/error_level.hpp"
#include "binding/lua_compat.hpp"
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

constexpr const char MSG_ARGS[] = "crypto.encrypt: invalid number of arguments (should be 2)";
constexpr const char MSG_INPUT[] = "crypto.encrypt: invalid argument #1 (input)";
constexpr const char MSG_KEY[] = "crypto.encrypt: invalid argument #2 (key)";
constexpr const char MSG_MEMORY[] = "crypto.encrypt: insufficient memory";
constexpr const char MSG_FORMAT[] = "crypto.encrypt: invalid encrypted data format";

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

// What make_result's callers raise when the runtime's own error, on top of
// the stack, is to go on unchanged.
constexpr const char RUNTIME_ERROR[] = "";

std::uint32_t min_of(std::uint32_t a, std::uint32_t b)
{
    return a < b ? a : b;
}

// The argument tests after the count: both types, then the input's length
// (1 to `limit`), then the key's (16). Returns the message of the first that
// fails, or nullptr with *n set to the input's length.
const char *argument_fault(lua_State *L, std::uint32_t limit, std::uint32_t *n)
{
    if (lua_type(L, INPUT) != LUA_TTABLE) {
        return MSG_INPUT;
    }
    if (lua_type(L, KEY) != LUA_TTABLE) {
        return MSG_KEY;
    }
    // Compared at full width; length - 1 wraps for 0, so one test rejects
    // both the empty table and anything above the limit.
    const std::size_t length = raw_length(L, INPUT);
    if (length - 1 > limit - 1) {
        return MSG_INPUT;
    }
    if (raw_length(L, KEY) != KEY_BYTES) {
        return MSG_KEY;
    }
    *n = static_cast<std::uint32_t>(length);
    return nullptr;
}

// The same tests once Lua code may have run: the input must also still have
// the length the call started with.
const char *argument_changed(lua_State *L, std::uint32_t limit, std::uint32_t n)
{
    std::uint32_t now = 0;
    const char *fault = argument_fault(L, limit, &now);
    if (fault == nullptr && now != n) {
        return MSG_INPUT;
    }
    return fault;
}

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
// as they are filled. Lua code may run here. Returns 0; -1 when no table
// can be had for lack of memory, or none of the running interpreter can
// hold `count` elements (nothing pushed then); -2 when the runtime raised
// another error there, which is then on top of the stack.
int push_result_table(lua_State *L, std::uint32_t count)
{
    std::uint32_t room = count;
    if (count > LUAJIT_ARRAY && running_luajit(L)) {
        if (count > LUAJIT_MOST) {
            return -1;
        }
        room = 0;
    }
    if (room <= PROTECTED_RESULT) {
        lua_createtable(L, static_cast<int>(room), 0);
        return 0;
    }
    lua_pushcfunction(L, make_result_table);
    lua_pushnumber(L, room);
    const int status = lua_pcall(L, 1, 1, 0);
    if (status == LUA_ERRMEM) {
        lua_settop(L, -2);
        return -1;
    }
    return status == 0 ? 0 : -2;
}

// Pushes the result table for `count` elements, then tests the call's slots
// again, as Lua code may have run meanwhile: the arguments exactly as at the
// start, and the result slot, which must hold a table that is not an
// argument (the call still reads from those). Returns the message to raise
// (RUNTIME_ERROR: the runtime's error on top), or nullptr; from then on no
// Lua code runs in the call.
const char *make_result(lua_State *L, std::uint32_t count, std::uint32_t limit, std::uint32_t n)
{
    const int made = push_result_table(L, count);
    if (made != 0) {
        return made == -1 ? MSG_MEMORY : RUNTIME_ERROR;
    }
    const char *fault = argument_changed(L, limit, n);
    if (fault != nullptr) {
        return fault;
    }
    const bool usable = lua_type(L, RESULT) == LUA_TTABLE && lua_rawequal(L, RESULT, INPUT) == 0 &&
                        lua_rawequal(L, RESULT, KEY) == 0;
    return usable ? nullptr : MSG_MEMORY;
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

// Raises what make_result found: the runtime's error as it came, or the
// module's message.
int fail(lua_State *L, const char *fault)
{
    return fault == RUNTIME_ERROR ? lua_error(L) : raise_error(L, fault);
}

} // namespace

int crypto_encrypt(lua_State *L)
{
    if (lua_gettop(L) != 2) {
        return raise_error(L, MSG_ARGS);
    }
    std::uint32_t n = 0;
    const char *fault = argument_fault(L, MAX_INPUT_BYTES, &n);
    if (fault != nullptr) {
        return raise_error(L, fault);
    }
    const seal_sizes sizes = seal_layout(n);

    fault = make_result(L, sizes.total, MAX_INPUT_BYTES, n);
    if (fault != nullptr) {
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
        return raise_error(L, MSG_ARGS);
    }
    std::uint32_t n = 0;
    const char *fault = argument_fault(L, MAX_SEALED_BYTES, &n);
    if (fault != nullptr) {
        return raise_error(L, fault);
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
        return raise_error(L, MSG_FORMAT);
    }
    const std::uint32_t count = end > SEAL_HEADER_SIZE ? end - SEAL_HEADER_SIZE : 0;

    fault = make_result(L, count, MAX_SEALED_BYTES, n);
    if (fault != nullptr) {
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
            return raise_error(L, MSG_FORMAT);
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
