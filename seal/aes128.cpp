// The one place where a core is chosen (aes128_chosen_core): the CPU's AES
// instructions on 256-bit registers where this build has them and the CPU
// and the system offer them, else on 128-bit registers, else the portable
// core. The tests read what the C runtime found when the library was loaded
// and, for the wide core, what CPUID and XGETBV told once; they depend on
// the CPU only, never on key or data.
#include "seal/aes128.hpp"

#include "seal/aes128_cores.hpp"

void aes128_encrypt_blocks_to(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                              const std::uint8_t key[KEY_BYTES])
{
    aes128_chosen_core().encrypt_blocks(out, in, count, key);
}

void aes128_decrypt_blocks_to(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                              const std::uint8_t key[KEY_BYTES])
{
    aes128_chosen_core().decrypt_blocks(out, in, count, key);
}

void aes128_encrypt_blocks(std::uint8_t *blocks, std::size_t count, const std::uint8_t key[KEY_BYTES])
{
    aes128_encrypt_blocks_to(blocks, blocks, count, key);
}

void aes128_decrypt_blocks(std::uint8_t *blocks, std::size_t count, const std::uint8_t key[KEY_BYTES])
{
    aes128_decrypt_blocks_to(blocks, blocks, count, key);
}

void aes128_encrypt_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES])
{
    aes128_encrypt_blocks(block, 1, key);
}

void aes128_decrypt_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES])
{
    aes128_decrypt_blocks(block, 1, key);
}

std::size_t aes128_cores(aes128_core cores[MOST_CORES])
{
    cores[0] = {"portable", true, aes128_portable_encrypt_blocks, aes128_portable_decrypt_blocks};
#if defined(VORSEL_CIPHER_PORTABLE)
    return 1;
#else
    cores[1] = {"hardware", aes128_hardware_available(), aes128_hardware_encrypt_blocks,
                aes128_hardware_decrypt_blocks};
#if defined(__x86_64__) && defined(__GNUC__)
    cores[2] = {"vaes", aes128_vaes_available(), aes128_vaes_encrypt_blocks, aes128_vaes_decrypt_blocks};
    return 3;
#else
    return 2;
#endif
#endif
}

// The fastest core this CPU runs: the list goes from the slowest to the
// fastest, and every core is constant-time.
aes128_core aes128_chosen_core()
{
    aes128_core cores[MOST_CORES];
    std::size_t n = aes128_cores(cores);
    while (n > 1 && !cores[n - 1].available) {
        --n;
    }
    return cores[n - 1];
}
