// Secret independence of every AES-128 core, in the style of ctgrind: key
// and data bytes are marked undefined for valgrind's memcheck, so that
// everything computed from them stays undefined through all the rounds and
// the key schedule. Memcheck then reports any conditional jump on them
// ("Conditional jump or move depends on uninitialised value") and any
// memory address made from them ("Use of uninitialised value of size N"),
// a table lookup or an indirect call. Run with no suppressions: a
// constant-time core leaves nothing to report.
//
// usage: secret_independence [branch | secret_indexed_load]
//   branch: also runs a deliberately secret-dependent branch, and
//   secret_indexed_load: a deliberately secret-indexed load, to prove the
//   check catches each of them.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "seal/aes128_cores.hpp"
#include "seal/sealed_buffer.hpp"

namespace {

// A side effect under the condition forces a real branch.
void branchy(const std::uint8_t *secret)
{
    if ((secret[0] & 1) != 0) {
        std::puts("odd key");
    }
}

volatile std::uint8_t TABLE[256];

void secret_lookup(const std::uint8_t *secret)
{
    const std::uint8_t x = TABLE[secret[1]];
    std::printf("looked up %d\n", x);
}

constexpr std::size_t BLOCKS = 9; // two groups of four and a single block

} // namespace

int main(int argc, char **argv)
{
    std::uint8_t key[KEY_BYTES];
    std::uint8_t data[BLOCKS * BLOCK_BYTES];
    std::memset(key, 0x5a, sizeof key);
    std::memset(data, 0xa5, sizeof data);
    VALGRIND_MAKE_MEM_UNDEFINED(key, sizeof key);
    VALGRIND_MAKE_MEM_UNDEFINED(data, sizeof data);

    if (argc > 1 && std::strcmp(argv[1], "branch") == 0) {
        branchy(key);
    }
    if (argc > 1 && std::strcmp(argv[1], "secret_indexed_load") == 0) {
        secret_lookup(data);
    }
    aes128_core cores[2];
    const std::size_t n = aes128_cores(cores);
    for (std::size_t c = 0; c < n; ++c) {
        if (!cores[c].available) {
            std::printf("%s core: not on this CPU\n", cores[c].name);
            continue;
        }
        for (const std::size_t count : {std::size_t{1}, BLOCKS}) {
            cores[c].encrypt_blocks(data, count, key);
            cores[c].decrypt_blocks(data, count, key);
            cores[c].decrypt_blocks(data, count, key);
        }
        std::printf("%s core: checked\n", cores[c].name);
    }
    // And the sealing calls on top, through the chosen core.
    seal_encipher(data, sizeof data, key);
    seal_decipher(data, sizeof data, key);
    VALGRIND_MAKE_MEM_DEFINED(data, sizeof data);
    std::printf("done %d\n", data[0] != 0 ? 1 : 0);
    return 0;
}
