// Secret independence of the block cipher's control flow, in the style of
// ctgrind: key and data bytes, and the S-box tables themselves, are marked
// undefined for valgrind's memcheck, so that everything computed from them
// stays undefined through all ten rounds. Memcheck then reports any
// conditional jump that depends on them ("Cond" errors).
//
// The S-box lookups are indexed by secret bytes by design: memcheck reports
// those as undefined addresses ("Value8"), which the suppression file
// secret_lookups.supp accepts. What remains must be empty.
//
// usage: secret_independence [branchy]   ("branchy" runs a deliberately
// secret-dependent branch, to prove that the check catches one)
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>

// The cipher's source, so that its constant tables can be marked too.
#include "seal/aes128.cpp"

namespace {

// A side effect under the condition forces a real branch.
void branchy(const std::uint8_t *secret)
{
    if ((secret[0] & 1) != 0) {
        std::puts("odd key");
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::uint8_t key[KEY_BYTES];
    std::uint8_t block[BLOCK_BYTES];
    std::memset(key, 0x5a, sizeof key);
    std::memset(block, 0xa5, sizeof block);
    VALGRIND_MAKE_MEM_UNDEFINED(key, sizeof key);
    VALGRIND_MAKE_MEM_UNDEFINED(block, sizeof block);
    VALGRIND_MAKE_MEM_UNDEFINED(&SBOXES, sizeof SBOXES);

    if (argc > 1 && std::strcmp(argv[1], "branchy") == 0) {
        branchy(key);
    }
    for (int i = 0; i < 4; ++i) {
        aes128_encrypt_block(block, key);
        aes128_decrypt_block(block, key);
        aes128_decrypt_block(block, key);
    }
    VALGRIND_MAKE_MEM_DEFINED(block, sizeof block);
    std::printf("done %d\n", block[0] != 0 ? 1 : 0);
    return 0;
}
