#include "seal/sealed_buffer.hpp"

#include <cstring>

seal_sizes seal_layout(std::uint32_t n)
{
    const std::uint32_t rest = (n + SEAL_HEADER_SIZE) % BLOCK_BYTES;
    const auto pad = static_cast<std::uint8_t>(rest == 0 ? 0 : BLOCK_BYTES - rest);
    return {pad, n + SEAL_HEADER_SIZE + pad};
}

void seal_frame(std::uint8_t *buffer, std::uint32_t n, std::uint8_t pad)
{
    std::memcpy(buffer, SEAL_MAGIC, sizeof SEAL_MAGIC);
    buffer[8] = pad;
    std::memset(buffer + SEAL_HEADER_SIZE + n, SEAL_PAD_BYTE, pad);
}

void seal_encipher(std::uint8_t *buffer, std::uint32_t length, const std::uint8_t key[KEY_BYTES])
{
    for (std::uint32_t offset = 0; offset + BLOCK_BYTES <= length; offset += BLOCK_BYTES) {
        aes128_encrypt_block(buffer + offset, key);
    }
}

int unseal(std::uint8_t *buffer, std::uint32_t length, const std::uint8_t key[KEY_BYTES],
           std::uint8_t *pad, std::uint32_t *end)
{
    // Sealing only ever makes whole blocks; anything else was not made by it,
    // and a partial block could not be deciphered.
    if (length < BLOCK_BYTES || length % BLOCK_BYTES != 0) {
        return -1;
    }
    for (std::uint32_t offset = 0; offset < length; offset += BLOCK_BYTES) {
        aes128_decrypt_block(buffer + offset, key);
    }
    if (std::memcmp(buffer, SEAL_MAGIC, sizeof SEAL_MAGIC) != 0) {
        return -1;
    }
    const std::uint8_t p = buffer[8];
    if (p > 15) {
        return -1;
    }
    // The padding itself is not examined.
    *pad = p;
    *end = p < length ? length - p : 0;
    return 0;
}
