// vorsel.strings' streams: sealer(key, length) and opener(key), whose
// update(piece) and final() give the sealed form, or the payload, piece by
// piece: together, byte for byte what encrypt and decrypt give of the whole.
//
// A stream is a full userdata that holds no pointer: counters, the key, the
// block under way (less than a block carried over) and, for an opener, the
// last block deciphered. Each call expands the key into a schedule on its
// own stack, as encrypt and decrypt do; the stream clears its key when it
// ends (final, a data error, __close, __gc).
//
// A call reads the stream and the piece, and works out its result into a
// buffer of the result's exact length, with no Lua code running from its
// checks to there; it then marks the stream busy and makes the result
// string (a copy, or on Lua 5.5 the buffer itself) under run_protected. Lua code run there (a finalizer, a hook) finds every call
// on the stream refused. After it, the stream is taken from the stack
// afresh and matched by its serial number before the new state is written
// back; a call that made no result leaves the stream as it was.
#include <lua.hpp>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "binding/string_work.hpp"
#include "binding/streams.hpp"
#include "seal/sealed_buffer.hpp"

namespace {

enum kind : std::uint8_t { SEALER, OPENER };
enum phase : std::uint8_t { OPEN, BUSY, FINISHED, FAILED, CLOSED };

const char *const KINDS[2] = {"sealer", "opener"};
const char *const ARTICLES[2] = {"a sealer", "an opener"};
// The two metatables' registry keys: light userdata, found without making
// a string (so without a collection step, and without Lua code).
const char METATABLE_KEYS[2] = {0, 0};

constexpr std::uint32_t BLOCK = BLOCK_BYTES; // for plain positions, 32-bit as the counters

// Stack slots of a method call.
constexpr int SELF = 1;
constexpr int PIECE = 2;

struct stream {
    std::uint64_t serial;  // unique on this thread: tells the stream again after Lua code ran
    std::uint8_t kind;
    std::uint8_t phase;
    std::uint8_t held;     // bytes in carry, 0 to 15
    std::uint8_t pad;      // the pad count (an opener's, once its header has come)
    std::uint32_t length;  // a sealer's declared payload length
    std::uint32_t taken;   // bytes taken in: payload (sealer), sealed (opener)
    std::uint32_t given;   // an opener's plain position given out up to, from 9
    std::uint8_t carry[BLOCK_BYTES]; // the block under way: plain (sealer), sealed (opener)
    std::uint8_t last[BLOCK_BYTES];  // an opener's last block deciphered
    std::uint8_t key[KEY_BYTES];
};

thread_local std::uint64_t serials = 0;

void end_stream(stream *s, std::uint8_t phase)
{
    std::memset(s->key, 0, sizeof s->key);
    std::memset(s->carry, 0, sizeof s->carry);
    std::memset(s->last, 0, sizeof s->last);
    s->held = 0;
    s->phase = phase;
}

// The value at `index` as a stream of kind k, or null: a full userdata of
// the stream's size under k's metatable, its fields in range (so that even
// bytes forged under that metatable index nothing out of bounds). Runs no
// Lua code; the stack is left as it was.
stream *to_stream(lua_State *L, int index, std::uint8_t k)
{
    if (lua_type(L, index) != LUA_TUSERDATA || raw_length(L, index) != sizeof(stream) ||
        lua_getmetatable(L, index) == 0) {
        return nullptr;
    }
    lua_pushlightuserdata(L, const_cast<char *>(&METATABLE_KEYS[k]));
    lua_rawget(L, LUA_REGISTRYINDEX);
    const bool ours = lua_rawequal(L, -1, -2) != 0;
    lua_settop(L, -3);
    auto *s = static_cast<stream *>(lua_touserdata(L, index));
    if (!ours || s->kind != k || s->phase > CLOSED || s->held >= BLOCK_BYTES || s->pad >= BLOCK_BYTES) {
        return nullptr;
    }
    return s;
}

// Raises "vorsel.strings.<kind>[:<method>]: <what>".
int fail(lua_State *L, std::uint8_t k, const char *method, const char *what)
{
    return luaL_error(L, "vorsel.strings.%s%s%s: %s", KINDS[k], method[0] != '\0' ? ":" : "", method, what);
}

// One method call: update (piece at PIECE) or final.
struct call {
    std::uint8_t kind;
    bool final;
    lua_CFunction self;
    stream *s;
    std::size_t n;    // the piece's length
    std::size_t size; // the result's
    std::uint8_t pad; // an opener's pad count, once its header has come
};

const char *method_name(const call *c)
{
    return c->final ? "final" : "update";
}

// The start of a call, again after any point where Lua code ran: the helper
// pushed (Lua code may run there, before anything is looked at), then the
// stream, its phase and the piece. Data that ends the stream ends it here.
// Returns 0 with *c filled in, or -1 with the message in `message`.
int begin(lua_State *L, call *c, char *message, std::size_t size)
{
    lua_settop(L, c->final ? SELF : PIECE);
    push_helper(L);
    c->s = to_stream(L, SELF, c->kind);
    stream *s = c->s;
    char came[64];
    if (s == nullptr) {
        const std::uint8_t other = c->kind == SEALER ? OPENER : SEALER;
        if (to_stream(L, SELF, other) != nullptr) {
            static_cast<void>(std::snprintf(came, sizeof came, "%s", ARTICLES[other]));
        } else {
            describe(L, SELF, came, sizeof came);
        }
        static_cast<void>(std::snprintf(message, size, "self must be %s, got %s", ARTICLES[c->kind], came));
        return -1;
    }
    static const char *const ENDED[] = {"", "the stream is in use: a call on it has not returned",
                                        "the stream has ended: final was called",
                                        "the stream has ended: an error ended it",
                                        "the stream has ended: it was closed"};
    if (s->phase != OPEN) {
        static_cast<void>(std::snprintf(message, size, "%s", ENDED[s->phase]));
        return -1;
    }
    c->n = 0;
    if (!c->final) {
        if (lua_type(L, PIECE) != LUA_TSTRING) {
            describe(L, PIECE, came, sizeof came);
            static_cast<void>(std::snprintf(message, size, "argument #1 (piece) must be a string, got %s", came));
            return -1;
        }
        c->n = raw_length(L, PIECE);
    }
    const unsigned long long total = static_cast<unsigned long long>(s->taken) + c->n;
    if (c->kind == SEALER && (c->final ? total != s->length : total > s->length)) {
        static_cast<void>(std::snprintf(message, size, "%u bytes declared, got %llu%s",
                                        static_cast<unsigned>(s->length), total, c->final ? "" : " with this piece"));
        end_stream(s, FAILED);
        return -1;
    }
    if (c->kind == OPENER && (c->final ? total < BLOCK_BYTES || total % BLOCK_BYTES != 0 : total > MAX_SEALED_BYTES)) {
        static_cast<void>(std::snprintf(message, size,
                                        "the sealed data must be whole 16-byte blocks, 16 to %u bytes, got %llu%s",
                                        static_cast<unsigned>(MAX_SEALED_BYTES), total,
                                        c->final ? "" : " with this piece"));
        end_stream(s, FAILED);
        return -1;
    }
    // The result's exact length: a sealer gives the blocks that fill, and
    // its last one at final; an opener, the plain bytes from where it gave
    // out to up to the pad count before the end of the blocks that fill.
    if (c->kind == SEALER) {
        c->size = c->final ? (s->held != 0 ? BLOCK_BYTES : 0) : (s->held + c->n) / BLOCK_BYTES * BLOCK_BYTES;
        return 0;
    }
    const std::uint32_t before = s->taken - s->held;
    const auto after = static_cast<std::uint32_t>(total - total % BLOCK_BYTES);
    c->pad = s->pad;
    c->size = 0;
    if (c->final || after == before) {
        return 0;
    }
    if (before == 0) { // the header's block fills with this piece
        std::uint8_t first[BLOCK_BYTES];
        std::uint32_t end = 0;
        std::memcpy(first, s->carry, s->held);
        std::memcpy(first + s->held, lua_tolstring(L, PIECE, nullptr), BLOCK_BYTES - s->held);
        if (unseal_header(first, BLOCK_BYTES, s->key, &c->pad, &end) != 0) {
            static_cast<void>(
                std::snprintf(message, size, "invalid encrypted data format (not sealed data, or a wrong key)"));
            end_stream(s, FAILED);
            return -1;
        }
    }
    const std::uint32_t end = after - c->pad;
    c->size = end > s->given ? end - s->given : 0;
    return 0;
}

// The working buffer for *c, with Lua's second chance as encrypt has it: a
// full collection (which runs finalizers, so the call begins again after
// it) and one more try. Returns 0, or -1 with the message.
int get_buffer(lua_State *L, call *c, work_buffer *work, char *message, std::size_t size)
{
    if (take_buffer(L, work, c->size)) {
        return 0;
    }
    lua_gc(L, LUA_GCCOLLECT, 0);
    if (begin(L, c, message, size) != 0) {
        return -1;
    }
    if (take_buffer(L, work, c->size)) {
        return 0;
    }
    memory_message(c->size, message, size);
    return -1;
}

// Sealing: takes the piece into st, writes the blocks it completes to out
// and returns their length. The carry starts as the header.
std::size_t seal_piece(stream *st, const std::uint8_t *piece, std::size_t n, std::uint8_t *out)
{
    st->taken += static_cast<std::uint32_t>(n);
    if (st->held + n < BLOCK_BYTES) {
        std::memcpy(st->carry + st->held, piece, n);
        st->held = static_cast<std::uint8_t>(st->held + n);
        return 0;
    }
    const std::size_t fill = BLOCK_BYTES - st->held;
    std::memcpy(st->carry + st->held, piece, fill);
    aes128_encrypt_blocks_to(out, st->carry, 1, st->key);
    const std::size_t whole = (n - fill) / BLOCK_BYTES;
    aes128_encrypt_blocks_to(out + BLOCK_BYTES, piece + fill, whole, st->key);
    const std::size_t used = fill + whole * BLOCK_BYTES;
    st->held = static_cast<std::uint8_t>(n - used);
    std::memcpy(st->carry, piece + used, st->held);
    return BLOCK_BYTES + whole * BLOCK_BYTES;
}

// The sealer's last block: the rest of the payload and the padding.
std::size_t seal_final(stream *st, std::uint8_t *out)
{
    if (st->held == 0) {
        return 0;
    }
    std::memset(st->carry + st->held, SEAL_PAD_BYTE, BLOCK_BYTES - st->held);
    aes128_encrypt_blocks_to(out, st->carry, 1, st->key);
    return BLOCK_BYTES;
}

// Opening: takes the piece into st and deciphers the blocks it fills.
// Writes to out, from its start, the plain bytes from st->given to the end
// of those blocks less `pad` (the last `pad` bytes may be padding, and are
// given out only when more blocks come), and returns how many. The header's
// block was checked before (begin), and its pad count is `pad`.
std::size_t open_piece(stream *st, const std::uint8_t *piece, std::size_t n, std::uint8_t pad, std::uint8_t *out)
{
    const std::uint32_t before = st->taken - st->held; // sealed bytes deciphered so far, whole blocks
    st->taken += static_cast<std::uint32_t>(n);
    const std::uint32_t after = st->taken / BLOCK * BLOCK;
    if (after == before) {
        std::memcpy(st->carry + st->held, piece, n);
        st->held = static_cast<std::uint8_t>(st->held + n);
        return 0;
    }
    st->pad = pad;
    const std::uint32_t from = st->given, end = after - pad;
    // The bytes of a plain block at plain position p that fall in [from, end).
    const auto emit = [out, from, end](const std::uint8_t *block, std::uint32_t p) {
        const std::uint32_t lo = p > from ? p : from, hi = p + BLOCK < end ? p + BLOCK : end;
        if (hi > lo) {
            std::memcpy(out + (lo - from), block + (lo - p), hi - lo);
        }
    };
    if (before >= BLOCK) { // what the last call held back
        emit(st->last, before - BLOCK);
    }
    std::uint32_t p = before; // the plain position of the next block
    std::size_t used = 0;     // of the piece
    if (st->held != 0) {
        used = BLOCK_BYTES - st->held;
        std::memcpy(st->carry + st->held, piece, used);
        aes128_decrypt_blocks_to(st->last, st->carry, 1, st->key);
        emit(st->last, p);
        p += BLOCK;
    }
    // The piece's whole blocks: the header's and the last through st->last,
    // those between straight to their place in out.
    std::uint32_t whole = (after - p) / BLOCK;
    if (whole > 0 && p == 0) {
        aes128_decrypt_blocks_to(st->last, piece + used, 1, st->key);
        emit(st->last, p);
        used += BLOCK, p += BLOCK, --whole;
    }
    if (whole > 1) {
        aes128_decrypt_blocks_to(out + (p - from), piece + used, whole - 1, st->key);
        used += std::size_t{BLOCK} * (whole - 1), p += BLOCK * (whole - 1);
        whole = 1;
    }
    if (whole == 1) {
        aes128_decrypt_blocks_to(st->last, piece + used, 1, st->key);
        emit(st->last, p);
        used += BLOCK_BYTES;
    }
    st->held = static_cast<std::uint8_t>(n - used);
    std::memcpy(st->carry, piece + used, st->held);
    if (end <= from) {
        return 0;
    }
    st->given = end;
    return end - from;
}

// Both methods of both kinds: checks, the buffer, the work, the result.
int run_call(lua_State *L, call *c)
{
    char message[160];
    const int given = lua_gettop(L);
    const int expected = c->final ? 1 : 2;
    if (given != expected) {
        static_cast<void>(std::snprintf(message, sizeof message, "%d argument%s expected (self%s), got %d", expected,
                                        c->final ? "" : "s", c->final ? "" : ", piece", given));
        return fail(L, c->kind, method_name(c), message);
    }
    work_buffer work;
    if (begin(L, c, message, sizeof message) != 0 || get_buffer(L, c, &work, message, sizeof message) != 0) {
        return fail(L, c->kind, method_name(c), message);
    }
    // From begin's last checks to here no Lua code runs: the stream and the
    // piece are read through pointers fetched in begin, into a copy.
    stream next = *c->s;
    const auto *piece = reinterpret_cast<const std::uint8_t *>(c->final ? "" : lua_tolstring(L, PIECE, nullptr));
    if (c->kind == SEALER) {
        static_cast<void>(c->final ? seal_final(&next, work.bytes) : seal_piece(&next, piece, c->n, work.bytes));
    } else if (!c->final) {
        static_cast<void>(open_piece(&next, piece, c->n, c->pad, work.bytes));
    }
    if (c->final) {
        end_stream(&next, FINISHED);
    }
    c->s->phase = BUSY;
    const int helper = lua_gettop(L);
    const int status = push_result_of(L, c->self, &work, c->size);
    const bool made = status == 0 && lua_type(L, helper) == LUA_TSTRING;
    stream *s = to_stream(L, SELF, c->kind); // Lua code ran: the stack may hold anything now
    if (s != nullptr && s->serial == next.serial && s->phase == BUSY) {
        if (made) {
            *s = next;
        } else {
            s->phase = OPEN;
        }
    }
    std::memset(next.key, 0, sizeof next.key);
    if (status == LUA_ERRMEM) {
        memory_message(c->size, message, sizeof message);
        return fail(L, c->kind, method_name(c), message);
    }
    if (status != 0) {
        return lua_error(L); /* the error as it came */
    }
    if (!made) { /* the helper was refused its job: Lua code meddled */
        return fail(L, c->kind, method_name(c), "the result could not be made");
    }
    return 1;
}

template <std::uint8_t K, bool FINAL> int method(lua_State *L)
{
    call c = {K, FINAL, method<K, FINAL>, nullptr, 0, 0, 0};
    return run_call(L, &c);
}

// __gc and __close: the stream ends, its key cleared. Never raises.
template <std::uint8_t K> int stream_close(lua_State *L)
{
    stream *s = to_stream(L, SELF, K);
    if (s != nullptr && s->phase != FINISHED && s->phase != FAILED) {
        end_stream(s, CLOSED);
    }
    return 0;
}

// A new stream of kind k on the stack, from the key and length read.
int new_stream(lua_State *L, std::uint8_t k, const std::uint8_t key[KEY_BYTES], std::uint32_t length)
{
    // Lua code may run in lua_newuserdata; nothing of Lua's is held across it.
    auto *s = static_cast<stream *>(lua_newuserdata(L, sizeof(stream)));
    std::memset(s, 0, sizeof *s);
    s->serial = ++serials;
    s->kind = k;
    s->phase = OPEN;
    s->length = length;
    s->given = SEAL_HEADER_SIZE;
    std::memcpy(s->key, key, KEY_BYTES);
    if (k == SEALER) {
        seal_header(s->carry, seal_layout(length).pad);
        s->held = SEAL_HEADER_SIZE;
    }
    lua_pushlightuserdata(L, const_cast<char *>(&METATABLE_KEYS[k]));
    lua_rawget(L, LUA_REGISTRYINDEX);
    lua_setmetatable(L, -2);
    return 1;
}

// A constructor's checks: the count (the key, and for a sealer the
// length), the key read into `key`, and the length. Returns 0 with *length
// set, or -1 with the message.
int begin_stream(lua_State *L, std::uint8_t k, std::uint8_t key[KEY_BYTES], std::uint32_t *length, char *message,
                 std::size_t size)
{
    const int given = lua_gettop(L);
    const int expected = k == SEALER ? 2 : 1;
    if (given != expected) {
        static_cast<void>(std::snprintf(message, size, "%d argument%s expected (key%s), got %d", expected,
                                        k == SEALER ? "s" : "", k == SEALER ? ", length" : "", given));
        return -1;
    }
    *length = 0;
    if (read_key(L, 1, 1, key, message, size) != 0) {
        return -1;
    }
    if (k == OPENER) {
        return 0;
    }
    const lua_Number x = lua_type(L, 2) == LUA_TNUMBER ? lua_tonumber(L, 2) : -1;
    // (In range first, so that the cast is defined; NaN fails the range.)
    if (!(x >= 0 && x <= MAX_INPUT_BYTES) || x != static_cast<lua_Number>(static_cast<std::uint32_t>(x))) {
        char came[64];
        if (lua_type(L, 2) == LUA_TNUMBER) {
            static_cast<void>(std::snprintf(came, sizeof came, "%.17g", static_cast<double>(x)));
        } else {
            describe(L, 2, came, sizeof came);
        }
        static_cast<void>(std::snprintf(message, size, "argument #2 (length) must be a whole number from 0 to %u, got %s",
                                        static_cast<unsigned>(MAX_INPUT_BYTES), came));
        return -1;
    }
    *length = static_cast<std::uint32_t>(x);
    return 0;
}

template <std::uint8_t K> int make_stream(lua_State *L)
{
    char message[160];
    std::uint8_t key[KEY_BYTES];
    std::uint32_t length = 0;
    if (begin_stream(L, K, key, &length, message, sizeof message) != 0) {
        return fail(L, K, "", message);
    }
    return new_stream(L, K, key, length);
}

// k's metatable, made once per state and kept in the registry.
template <std::uint8_t K> void register_kind(lua_State *L)
{
    static const luaL_Reg methods[] = {{"update", method<K, false>}, {"final", method<K, true>}, {nullptr, nullptr}};
    lua_pushlightuserdata(L, const_cast<char *>(&METATABLE_KEYS[K]));
    lua_rawget(L, LUA_REGISTRYINDEX);
    const bool made = lua_type(L, -1) == LUA_TTABLE;
    lua_settop(L, -2);
    if (made) {
        return;
    }
    lua_pushlightuserdata(L, const_cast<char *>(&METATABLE_KEYS[K]));
    lua_createtable(L, 0, 4);
    new_library(L, methods);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, stream_close<K>);
    lua_setfield(L, -2, "__gc");
    lua_pushcfunction(L, stream_close<K>);
    lua_setfield(L, -2, "__close");
    lua_pushfstring(L, "vorsel.strings.%s", KINDS[K]);
    lua_setfield(L, -2, "__name");
    lua_rawset(L, LUA_REGISTRYINDEX);
}

} // namespace

void add_streams(lua_State *L)
{
    register_kind<SEALER>(L);
    register_kind<OPENER>(L);
    lua_pushcfunction(L, make_stream<SEALER>);
    lua_setfield(L, -2, "sealer");
    lua_pushcfunction(L, make_stream<OPENER>);
    lua_setfield(L, -2, "opener");
}
