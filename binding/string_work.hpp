// What vorsel.strings' whole-string functions and its streams share: the
// result's buffer (on the C stack up to STACK_BYTES, above that a block from
// the Lua state's own allocator, so that a host's limits and failures apply
// to it too), the key argument, descriptions of what came, and the making
// of the result string from it.
#pragma once

#include <lua.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "binding/byte_table.hpp"
#include "binding/lua_compat.hpp"
#include "binding/protected.hpp"
#include "seal/aes128.hpp"

// Results up to this size are made on the C stack.
inline constexpr std::size_t STACK_BYTES = 4096;

static_assert(STACK_BYTES % BLOCK_BYTES == 0);

// Lua 5.5 takes a block of its allocator as a string without a copy
// (lua_pushexternalstring): the result is made in a block one byte longer,
// for the zero that must follow it, and the block becomes the string.
#if LUA_VERSION_NUM >= 505
inline constexpr std::size_t RESULT_ZERO = 1;
#else
inline constexpr std::size_t RESULT_ZERO = 0;
#endif

// The result's buffer: `bytes` is `local`, or a block of `block` bytes from
// the allocator `alloc` (with `ud`) that the state had when it was taken.
struct work_buffer {
    std::uint8_t *bytes;
    std::size_t block; // 0 for `local`
    lua_Alloc alloc;
    void *ud;
    std::uint8_t local[STACK_BYTES];
};

// Points work->bytes at room for a result of exactly `size` bytes (laid
// out from its start); false when the state's allocator refused the block.
// Runs no Lua code.
inline bool take_buffer(lua_State *L, work_buffer *work, std::size_t size)
{
    work->block = size > STACK_BYTES ? size + RESULT_ZERO : 0;
    if (work->block == 0) {
        work->bytes = work->local;
        return true;
    }
    work->alloc = lua_getallocf(L, &work->ud);
    work->bytes = static_cast<std::uint8_t *>(work->alloc(work->ud, nullptr, 0, work->block));
    if (work->bytes == nullptr) {
        return false;
    }
#if defined(__linux__)
    // A large block is fresh memory that the cipher's one pass faults in
    // page by page: one fault per 4 KiB, half the time of a 64 MiB call.
    // The advice lets the kernel give its 2 MiB-aligned middle in huge
    // pages instead (where transparent huge pages are on "madvise").
    constexpr std::uintptr_t HUGE_PAGE = std::uintptr_t{1} << 21;
    if (work->block >= 2 * HUGE_PAGE) {
        const auto start = reinterpret_cast<std::uintptr_t>(work->bytes);
        const std::uintptr_t from = (start + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
        const std::uintptr_t to = (start + work->block) & ~(HUGE_PAGE - 1);
        static_cast<void>(madvise(work->bytes + (from - start), to - from, MADV_HUGEPAGE));
    }
#endif
    return true;
}

// Gives a block taken by take_buffer back to its allocator.
inline void drop_buffer(work_buffer *work)
{
    if (work->block != 0 && work->bytes != nullptr) {
        work->alloc(work->ud, work->bytes, work->block, 0);
    }
    work->bytes = nullptr;
}

// A description of a value that came where bytes were expected.
inline void describe(lua_State *L, int index, char *out, std::size_t size)
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

// Reads the key at `index`, a 16-byte string or a table of 16 bytes (as
// vorsel converts its elements). Returns 0, or -1 with the message for
// argument #`arg` in `message`. Runs no Lua code.
inline int read_key(lua_State *L, int index, int arg, std::uint8_t key[KEY_BYTES], char *message,
                    std::size_t size)
{
    const int type = lua_type(L, index);
    if ((type != LUA_TSTRING && type != LUA_TTABLE) || raw_length(L, index) != KEY_BYTES) {
        char came[64];
        describe(L, index, came, sizeof came);
        static_cast<void>(std::snprintf(
            message, size, "argument #%d (key) must be a 16-byte string or a table of 16 bytes, got %s", arg, came));
        return -1;
    }
    if (type == LUA_TSTRING) {
        std::memcpy(key, lua_tolstring(L, index, nullptr), KEY_BYTES);
    } else {
        read_elements(L, index, 1, KEY_BYTES, key);
    }
    return 0;
}

// The memory message for a result of `length` bytes.
inline void memory_message(std::size_t length, char *message, std::size_t size)
{
    static_cast<void>(std::snprintf(message, size, "not enough memory for a result of %u bytes",
                                    static_cast<unsigned>(length)));
}

inline void push_bytes(lua_State *L, const protected_job *job)
{
    lua_pushlstring(L, reinterpret_cast<const char *>(job->bytes), job->length);
}

#if LUA_VERSION_NUM >= 505
// The block itself becomes the string. From the call on, it is Lua's: the
// string frees it, or Lua frees it if the string cannot be made. Lua counts
// only an external string's header as allocated, so the collector is then
// told of the block as an allocation of its size would tell it (a step
// when that debt is due): else a loop of large results would pile up
// garbage the collector does not see.
inline void push_block_itself(lua_State *L, const protected_job *job)
{
    auto *work = static_cast<work_buffer *>(job->work);
    std::uint8_t *bytes = work->bytes;
    work->bytes = nullptr;
    lua_pushexternalstring(L, reinterpret_cast<const char *>(bytes), job->length, work->alloc, work->ud);
    lua_gc(L, LUA_GCSTEP, job->length + 1);
}
#endif

// Makes the string of the first `length` bytes of work's buffer under
// run_protected, on behalf of `self` (the Lua-facing function running),
// with the helper on top of the stack; Lua code may run in here. The string
// is a copy, after which a block is freed, or on Lua 5.5 a block itself.
// The buffer is left with nothing to free. Returns lua_pcall's status with
// one value in the helper's place: the string, nil when the helper was
// refused its job, or the error.
inline int push_result_of(lua_State *L, lua_CFunction self, work_buffer *work, std::size_t length)
{
#if LUA_VERSION_NUM >= 505
    if (work->block != 0) {
        work->bytes[length] = 0;
        const protected_job job = {push_block_itself, self, nullptr, length, work};
        const int status = run_protected(L, &job);
        drop_buffer(work); /* unless Lua took it */
        return status;
    }
#endif
    const protected_job job = {push_bytes, self, work->bytes, length, nullptr};
    const int status = run_protected(L, &job);
    drop_buffer(work);
    return status;
}
