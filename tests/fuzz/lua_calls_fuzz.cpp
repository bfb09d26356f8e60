// libFuzzer target: turns fuzz bytes into calls of encrypt, decrypt and
// version, and of vorsel.strings' encrypt and decrypt, with arbitrary
// argument shapes, in an embedded Lua 5.1 with both libraries linked in,
// and checks what every call gives back:
// - a success returns a table of integers 0..255 whose length follows the
//   sealed layout;
// - decrypt(encrypt(t, k), k) gives back t's bytes;
// - vorsel.strings opens what it sealed;
// - every failure carries one of the module's messages, a vorsel.strings
//   message, or the runtime's memory error.
#include <fuzzer/FuzzedDataProvider.h>
#include <lua.hpp>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

extern "C" int luaopen_vorsel(lua_State *L);
extern "C" int luaopen_vorsel_strings(lua_State *L);

namespace {

const char *const MESSAGES[] = {
    "crypto.version: invalid number of arguments (should be none)",
    "crypto.encrypt: invalid number of arguments (should be 2)",
    "crypto.encrypt: invalid argument #1 (input)",
    "crypto.encrypt: invalid argument #2 (key)",
    "crypto.encrypt: insufficient memory",
    "crypto.encrypt: invalid encrypted data format",
    "not enough memory",
};

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The element-to-byte rule, written independently of the module.
std::uint8_t expected_byte(lua_State *L, int index)
{
    const double x = lua_tonumber(L, index);
    const double t = std::trunc(x);
    if (!(t >= -2147483648.0 && t <= 2147483647.0)) {
        return 0;
    }
    return static_cast<std::uint8_t>(static_cast<std::int64_t>(t) & 0xff);
}

double fuzz_number(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: return in.ConsumeIntegralInRange(-300, 600);
    case 1: return in.ConsumeIntegralInRange(-300, 600) + in.ConsumeProbability<double>();
    case 2: return std::numeric_limits<double>::quiet_NaN();
    case 3: return in.ConsumeBool() ? HUGE_VAL : -HUGE_VAL;
    case 4: return static_cast<double>(in.ConsumeIntegral<std::int64_t>());
    case 5: return 2147483648.0 * (in.ConsumeBool() ? 1 : -1) + in.ConsumeIntegralInRange(-2, 2) * 0.5;
    case 6: return 4294967296.0 + in.ConsumeIntegralInRange(-3, 3);
    default: return in.ConsumeFloatingPoint<double>();
    }
}

void push_string(FuzzedDataProvider &in, lua_State *L)
{
    static const char *const texts[] = {"12", "0x10", " 7 ", "abc", "", "1e400", "-1", "300.9", "nan"};
    if (in.ConsumeBool()) {
        lua_pushstring(L, texts[in.ConsumeIntegralInRange<std::size_t>(0, 8)]);
    } else {
        const std::string s = in.ConsumeRandomLengthString(24);
        lua_pushlstring(L, s.data(), s.size());
    }
}

void push_value(FuzzedDataProvider &in, lua_State *L, int depth);

// The key 1, 2, ..., 16: sealed tables made under it can be opened by a
// call that draws it as its key argument.
void push_known_key(lua_State *L)
{
    lua_createtable(L, 16, 0);
    for (int i = 1; i <= 16; ++i) {
        lua_pushnumber(L, i);
        lua_rawseti(L, -2, i);
    }
}

// A table of n elements of any shape, holes included.
void push_table(FuzzedDataProvider &in, lua_State *L, int n, int depth)
{
    lua_createtable(L, in.ConsumeBool() ? n : 0, 0);
    for (int i = 1; i <= n; ++i) {
        const int kind = in.ConsumeIntegralInRange(0, 15);
        if (kind == 0) {
            continue; // a hole
        }
        if (kind < 10) {
            lua_pushnumber(L, kind < 7 ? in.ConsumeIntegralInRange(0, 255) : fuzz_number(in));
        } else {
            push_value(in, L, depth + 1);
        }
        lua_rawseti(L, -2, i);
    }
    if (in.ConsumeIntegralInRange(0, 9) == 0) {
        lua_createtable(L, 0, 1); /* metatable whose __index fills holes */
        lua_pushnumber(L, 99);
        lua_setfield(L, -2, "__index");
        lua_setmetatable(L, -2);
    }
}

// A sealed table made by encrypt, then perhaps altered and cut or grown.
void push_sealed(FuzzedDataProvider &in, lua_State *L, int module, bool known_key)
{
    lua_getfield(L, module, "encrypt");
    push_table(in, L, in.ConsumeIntegralInRange(1, 64), 2);
    if (known_key || in.ConsumeBool()) {
        push_known_key(L);
    } else {
        push_table(in, L, 16, 2);
    }
    if (lua_pcall(L, 2, 1, 0) != 0) {
        return; // error value left as the argument
    }
    if (in.ConsumeBool()) {
        return; // left as encrypt made it
    }
    const int n = static_cast<int>(lua_objlen(L, -1));
    for (int changes = in.ConsumeIntegralInRange(0, 3); changes > 0; --changes) {
        lua_pushnumber(L, in.ConsumeIntegralInRange(0, 255));
        lua_rawseti(L, -2, in.ConsumeIntegralInRange(1, n));
    }
    const int cut = in.ConsumeIntegralInRange(-17, 17);
    for (int i = 0; i < cut && n - i >= 1; ++i) {
        lua_pushnil(L);
        lua_rawseti(L, -2, n - i);
    }
    for (int i = 1; i <= -cut; ++i) {
        lua_pushnumber(L, 32);
        lua_rawseti(L, -2, n + i);
    }
}

void push_value(FuzzedDataProvider &in, lua_State *L, int depth)
{
    const int kind = in.ConsumeIntegralInRange(0, depth > 1 ? 3 : 7);
    switch (kind) {
    case 0: lua_pushnil(L); break;
    case 1: lua_pushboolean(L, in.ConsumeBool()); break;
    case 2: lua_pushnumber(L, fuzz_number(in)); break;
    case 3: push_string(in, L); break;
    case 4: push_table(in, L, in.ConsumeIntegralInRange(0, 40), depth); break;
    case 5: push_table(in, L, in.ConsumeIntegralInRange(14, 18), depth); break;
    case 6: push_known_key(L); break;
    default: push_sealed(in, L, 1, false); break;
    }
}

void check_byte_table(lua_State *L, int index, std::size_t length)
{
    check(lua_type(L, index) == LUA_TTABLE, "result is a table");
    check(lua_objlen(L, index) == length, "result length");
    for (int i = 1; i <= static_cast<int>(length); ++i) {
        lua_rawgeti(L, index, i);
        const double v = lua_tonumber(L, -1);
        check(lua_type(L, -1) == LUA_TNUMBER && v >= 0 && v <= 255 && v == std::floor(v),
              "result elements are integers 0..255");
        lua_pop(L, 1);
    }
}

void check_error(lua_State *L)
{
    const char *err = lua_tostring(L, -1);
    check(err != nullptr, "error value is a string");
    for (const char *m : MESSAGES) {
        if (std::strcmp(err, m) == 0) {
            return;
        }
    }
    if (std::strncmp(err, "vorsel.strings.", 15) == 0) {
        return;
    }
    std::fprintf(stderr, "unexpected error: %s\n", err);
    std::abort();
}

// Checks the outcome of a call of `name` whose argc arguments sit at
// base + 1 .. base + argc and whose result or error is on top.
void check_outcome(lua_State *L, const char *name, int status, int base, int argc)
{
    if (status != 0) {
        check_error(L);
    } else if (std::strncmp(name, "strings.", 8) == 0) {
        check(argc == 2 && lua_type(L, base + 1) == LUA_TSTRING && lua_type(L, -1) == LUA_TSTRING,
              "vorsel.strings takes and gives strings");
        const std::size_t key = lua_type(L, base + 2) == LUA_TSTRING || lua_type(L, base + 2) == LUA_TTABLE
                                    ? lua_objlen(L, base + 2)
                                    : 0;
        check(key == 16, "vorsel.strings succeeds with a 16-byte key only");
        const std::size_t n = lua_objlen(L, base + 1);
        const std::size_t m = lua_objlen(L, -1);
        if (std::strcmp(name, "strings.encrypt") == 0) {
            const std::size_t rest = (n + 9) % 16;
            check(m == n + 9 + (rest == 0 ? 0 : 16 - rest), "sealed string length");
        } else {
            check(n >= 16 && n % 16 == 0 && m + 9 <= n, "vorsel.strings opens whole blocks, payload within");
        }
    } else if (std::strcmp(name, "version") == 0) {
        check(argc == 0 && lua_isstring(L, -1), "version returns the banner");
    } else {
        check(argc == 2 && lua_type(L, base + 1) == LUA_TTABLE, "success needs two tables");
        const std::size_t n = lua_objlen(L, base + 1);
        if (std::strcmp(name, "encrypt") == 0) {
            const std::size_t rest = (n + 9) % 16;
            check_byte_table(L, -1, n + 9 + (rest == 0 ? 0 : 16 - rest));
        } else {
            check(n >= 16 && n % 16 == 0, "decrypt takes whole blocks only");
            const std::size_t m = lua_objlen(L, -1);
            check(m + 9 <= n, "payload within the sealed table");
            check_byte_table(L, -1, m);
        }
    }
}

// One call with 0 to 3 arguments of any shape.
void fuzz_call(FuzzedDataProvider &in, lua_State *L)
{
    static const char *const names[] = {"encrypt", "decrypt", "version", "strings.encrypt", "strings.decrypt"};
    const char *name = names[in.ConsumeIntegralInRange(0, 4)];
    const int base = lua_gettop(L);
    const int argc = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < argc; ++i) {
        push_value(in, L, 0); /* kept at base + 1 .. base + argc for the checks */
    }
    const bool on_strings = std::strncmp(name, "strings.", 8) == 0;
    lua_getfield(L, on_strings ? 2 : 1, on_strings ? name + 8 : name);
    for (int i = 1; i <= argc; ++i) {
        lua_pushvalue(L, base + i);
    }
    check_outcome(L, name, lua_pcall(L, argc, 1, 0), base, argc);
    lua_settop(L, base);
}

// decrypt, under the right key, of a sealed table that may have been altered.
void fuzz_decrypt_sealed(FuzzedDataProvider &in, lua_State *L)
{
    const int base = lua_gettop(L);
    push_sealed(in, L, 1, true); /* base + 1 */
    push_known_key(L);           /* base + 2 */
    lua_getfield(L, 1, "decrypt");
    lua_pushvalue(L, base + 1);
    lua_pushvalue(L, base + 2);
    check_outcome(L, "decrypt", lua_pcall(L, 2, 1, 0), base, 2);
    lua_settop(L, base);
}

// decrypt(encrypt(t, k), k) gives back t's bytes.
void fuzz_round_trip(FuzzedDataProvider &in, lua_State *L)
{
    const int base = lua_gettop(L);
    push_table(in, L, in.ConsumeIntegralInRange(1, 300), 1); /* t at base + 1 */
    push_table(in, L, 16, 1);                                /* k at base + 2 */
    // Holes can make either length shorter than the elements pushed.
    const bool valid = lua_objlen(L, base + 1) >= 1 && lua_objlen(L, base + 2) == 16;
    lua_getfield(L, 1, "decrypt");
    lua_getfield(L, 1, "encrypt");
    lua_pushvalue(L, base + 1);
    lua_pushvalue(L, base + 2);
    if (lua_pcall(L, 2, 1, 0) != 0) {
        check(!valid, "encrypt of a table and a 16-byte key succeeds");
        check_error(L);
        lua_settop(L, base);
        return;
    }
    check(valid, "encrypt succeeds only on valid arguments");
    lua_pushvalue(L, base + 2);
    check(lua_pcall(L, 2, 1, 0) == 0, "decrypt of encrypt's output succeeds");
    const int n = static_cast<int>(lua_objlen(L, base + 1));
    check(lua_objlen(L, -1) == static_cast<std::size_t>(n), "round trip keeps the length");
    for (int i = 1; i <= n; ++i) {
        lua_rawgeti(L, base + 1, i);
        lua_rawgeti(L, -2, i);
        check(lua_tonumber(L, -1) == expected_byte(L, -2), "round trip gives back the bytes");
        lua_pop(L, 2);
    }
    lua_settop(L, base);
}

// vorsel.strings: decrypt(encrypt(s, k), k) gives back s.
void fuzz_strings_round_trip(FuzzedDataProvider &in, lua_State *L)
{
    const int base = lua_gettop(L);
    const std::string text = in.ConsumeRandomLengthString(300);
    lua_pushlstring(L, text.data(), text.size()); /* base + 1 */
    if (in.ConsumeBool()) {
        const std::string key = in.ConsumeBytesAsString(16);
        lua_pushlstring(L, key.data(), key.size()); /* base + 2 */
    } else {
        push_table(in, L, 16, 1);
    }
    const bool valid = lua_objlen(L, base + 2) == 16;
    lua_getfield(L, 2, "encrypt");
    lua_pushvalue(L, base + 1);
    lua_pushvalue(L, base + 2);
    if (lua_pcall(L, 2, 1, 0) != 0) { /* sealed at base + 3 */
        check(!valid, "vorsel.strings seals with any 16-byte key");
        check_error(L);
        lua_settop(L, base);
        return;
    }
    check(valid, "vorsel.strings seals only with a 16-byte key");
    lua_getfield(L, 2, "decrypt");
    lua_pushvalue(L, base + 3);
    lua_pushvalue(L, base + 2);
    check(lua_pcall(L, 2, 1, 0) == 0, "vorsel.strings opens what it sealed");
    std::size_t m = 0;
    const char *back = lua_tolstring(L, -1, &m);
    check(m == text.size() && std::memcmp(back, text.data(), m) == 0, "vorsel.strings gives the text back");
    lua_settop(L, base);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    lua_State *L = luaL_newstate();
    luaL_openlibs(L);
    lua_pushcfunction(L, luaopen_vorsel);
    lua_call(L, 0, 1); /* module table at 1 */
    lua_pushcfunction(L, luaopen_vorsel_strings);
    lua_call(L, 0, 1); /* vorsel.strings at 2 */
    for (int calls = in.ConsumeIntegralInRange(1, 4); calls > 0 && in.remaining_bytes() > 0; --calls) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0: fuzz_round_trip(in, L); break;
        case 1: fuzz_decrypt_sealed(in, L); break;
        case 2: fuzz_strings_round_trip(in, L); break;
        default: fuzz_call(in, L); break;
        }
    }
    lua_close(L);
    return 0;
}
