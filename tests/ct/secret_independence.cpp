// Secret independence of every AES-128 core, in the style of ctgrind: key
// and data bytes are marked undefined for valgrind's memcheck, so that
// everything computed from them stays undefined through all the rounds and
// the key schedule. Memcheck then reports any conditional jump on them
// ("Conditional jump or move depends on uninitialised value") and any
// memory address made from them ("Use of uninitialised value of size N"),
// a table lookup or an indirect call. Run with no suppressions: a
// constant-time core leaves nothing to report.
//
// Every shape a core has: runs of 1 to 8 blocks (a group of four and tails
// of 1, 2 and 3) and one of 70, in both directions, at odd addresses,
// through each core and through the library's own choice.
//
// usage: secret_independence [lookup|branch <core> encrypt|decrypt <tail>]
//   With a flaw, the same runs of that core alone, with the direction
//   going through a copy of the core's split into groups that looks up a
//   table by a data byte (lookup), or branches on one (branch), only when
//   <tail> blocks are left after the whole groups of four: the check that
//   memcheck finds a flaw in a shape that only some counts reach
//   (tests/ct/expect_report.sh).
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "seal/aes128_cores.hpp"
#include "seal/sealed_buffer.hpp"
#include "tests/ct/plants.hpp"

namespace {

constexpr std::size_t COUNTS[] = {1, 2, 3, 4, 5, 6, 7, 8, 70};
constexpr std::size_t MOST = 70;

// The core's work split as the cores split it: whole groups of four, then
// the tail, where the flaw fires for one tail length only.
void flawed_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count, const std::uint8_t *key)
{
    const std::size_t whole = count - count % 4;
    FLAW_CORE(out, in, whole, key);
    if (count - whole == FLAW_TAIL) {
        FLAW(in + BLOCK_BYTES * whole);
    }
    FLAW_CORE(out + BLOCK_BYTES * whole, in + BLOCK_BYTES * whole, count - whole, key);
}

void run(const char *name, aes128_blocks_fn encrypt, aes128_blocks_fn decrypt, std::uint8_t *data,
         const std::uint8_t *key)
{
    for (const std::size_t count : COUNTS) {
        encrypt(data, data, count, key);
        decrypt(data, data, count, key);
    }
    std::printf("%s: runs of 1 to 8 and %zu blocks, both directions\n", name, MOST);
}

} // namespace

int main(int argc, char **argv)
{
    // Heap blocks, the data and the key one byte off any word boundary.
    auto *space = static_cast<std::uint8_t *>(std::malloc(1 + MOST * BLOCK_BYTES + 1 + KEY_BYTES));
    if (space == nullptr) {
        return 1;
    }
    std::uint8_t *data = space + 1;
    std::uint8_t *key = data + MOST * BLOCK_BYTES + 1;
    std::memset(data, 0xa5, MOST * BLOCK_BYTES);
    std::memset(key, 0x5a, KEY_BYTES);
    VALGRIND_MAKE_MEM_UNDEFINED(data, MOST * BLOCK_BYTES);
    VALGRIND_MAKE_MEM_UNDEFINED(key, KEY_BYTES);

    aes128_core cores[MOST_CORES];
    const std::size_t n = aes128_cores(cores);
    if (argc == 5) {
        FLAW = std::strcmp(argv[1], "branch") == 0 ? plant_branch : plant_lookup;
        FLAW_TAIL = std::strtoul(argv[4], nullptr, 10);
        const bool decrypt = std::strcmp(argv[3], "decrypt") == 0;
        for (std::size_t c = 0; c < n; ++c) {
            if (std::strcmp(cores[c].name, argv[2]) != 0) {
                continue;
            }
            if (!cores[c].available) {
                std::printf("[skipped here: this CPU does not run the %s core]\n", argv[2]);
                return 77;
            }
            FLAW_CORE = decrypt ? cores[c].decrypt_blocks : cores[c].encrypt_blocks;
            run(argv[1], decrypt ? cores[c].encrypt_blocks : flawed_blocks,
                decrypt ? flawed_blocks : cores[c].decrypt_blocks, data, key);
        }
        std::free(space);
        return FLAW_CORE != nullptr ? 0 : 2;
    }
    for (std::size_t c = 0; c < n; ++c) {
        if (cores[c].available) {
            run(cores[c].name, cores[c].encrypt_blocks, cores[c].decrypt_blocks, data, key);
        } else {
            std::printf("%s: not on this CPU\n", cores[c].name);
        }
    }
    run("the library's choice", aes128_encrypt_blocks_to, aes128_decrypt_blocks_to, data, key);
    // And the sealing calls on top, in place and from the text to a buffer
    // apart (the tail of the space, a few bytes off the text).
    seal_encipher(data, MOST * BLOCK_BYTES, key);
    seal_decipher(data, MOST * BLOCK_BYTES, key);
    auto *sealed = static_cast<std::uint8_t *>(std::malloc(MOST * BLOCK_BYTES + 3));
    if (sealed == nullptr) {
        return 1;
    }
    for (const std::uint32_t n : {0U, 7U, 100U, static_cast<std::uint32_t>(MOST * BLOCK_BYTES - 16)}) {
        seal_text(sealed + 3, data, n, key);
    }
    std::free(sealed);
    std::free(space);
    return 0;
}
