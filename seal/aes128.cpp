// The one place where a core is chosen (aes128_chosen_core): the CPU's AES
// instructions when this build has them and the CPU offers them, the
// portable core otherwise. The test reads what the C runtime found when the
// library was loaded; it depends on the CPU only, never on key or data.
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

std::size_t aes128_cores(aes128_core cores[2])
{
    cores[0] = {"portable", true, aes128_portable_encrypt_blocks, aes128_portable_decrypt_blocks};
#if defined(VORSEL_CIPHER_PORTABLE)
    return 1;
#else
    cores[1] = {"hardware", aes128_hardware_available(), aes128_hardware_encrypt_blocks,
                aes128_hardware_decrypt_blocks};
    return 2;
#endif
}

// The hardware core wherever this CPU runs it: it is the faster, and both
// are constant-time.
aes128_core aes128_chosen_core()
{
    aes128_core cores[2];
    const std::size_t n = aes128_cores(cores);
    const bool hardware = n == 2 && cores[1].available;
    return hardware ? cores[1] : cores[0];
}
