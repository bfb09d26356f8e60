#include "seal/sealed_buffer.hpp"

#include <cstring>

seal_sizes seal_layout(std::uint32_t n)
{
    const std::uint32_t rest = (n + SEAL_HEADER_SIZE) % BLOCK_BYTES;
    const auto pad = static_cast<std::uint8_t>(rest == 0 ? 0 : BLOCK_BYTES - rest);
    return {pad, n + SEAL_HEADER_SIZE + pad};
}

void seal_header(std::uint8_t header[SEAL_HEADER_SIZE], std::uint8_t pad)
{
    std::memcpy(header, SEAL_MAGIC, sizeof SEAL_MAGIC);
    header[8] = pad;
}

void seal_frame(std::uint8_t *buffer, std::uint32_t n, std::uint8_t pad)
{
    seal_header(buffer, pad);
    std::memset(buffer + SEAL_HEADER_SIZE + n, SEAL_PAD_BYTE, pad);
}

void seal_encipher(std::uint8_t *buffer, std::uint32_t length, const std::uint8_t key[KEY_BYTES])
{
    aes128_encrypt_blocks(buffer, length / BLOCK_BYTES, key);
}

void seal_text(std::uint8_t *out, const std::uint8_t *text, std::uint32_t n, const std::uint8_t key[KEY_BYTES])
{
    const seal_sizes sizes = seal_layout(n);
    // The first block holds the header and the first `head` text bytes;
    // then `whole` blocks of text alone; then the rest of the text and the
    // padding, in at most one block.
    constexpr std::size_t first = BLOCK_BYTES - SEAL_HEADER_SIZE;
    const std::size_t head = n < first ? n : first;
    const std::size_t whole = (n - head) / BLOCK_BYTES;
    const std::size_t rest = BLOCK_BYTES + whole * BLOCK_BYTES;
    seal_header(out, sizes.pad);
    std::memcpy(out + SEAL_HEADER_SIZE, text, head);
    std::memcpy(out + rest, text + head + whole * BLOCK_BYTES, n - head - whole * BLOCK_BYTES);
    std::memset(out + sizes.total - sizes.pad, SEAL_PAD_BYTE, sizes.pad);
    aes128_encrypt_blocks(out, 1, key);
    aes128_encrypt_blocks_to(out + BLOCK_BYTES, text + head, whole, key);
    aes128_encrypt_blocks(out + rest, (sizes.total - rest) / BLOCK_BYTES, key);
}

void seal_decipher(std::uint8_t *buffer, std::uint32_t length, const std::uint8_t key[KEY_BYTES])
{
    aes128_decrypt_blocks(buffer, length / BLOCK_BYTES, key);
}

namespace {

// Sealing only ever makes whole blocks; anything else was not made by it,
// and a partial block could not be deciphered.
bool whole_blocks(std::uint32_t length)
{
    return length >= BLOCK_BYTES && length % BLOCK_BYTES == 0;
}

} // namespace

// The magic, then the pad count.
int unseal_check(const std::uint8_t plain[BLOCK_BYTES], std::uint32_t length, std::uint8_t *pad,
                 std::uint32_t *end)
{
    if (!whole_blocks(length)) {
        return -1;
    }
    if (std::memcmp(plain, SEAL_MAGIC, sizeof SEAL_MAGIC) != 0) {
        return -1;
    }
    const std::uint8_t p = plain[8];
    if (p > 15) {
        return -1;
    }
    // The padding itself is not examined. length >= 16 > p: no wrap.
    *pad = p;
    *end = length - p;
    return 0;
}

int unseal_header(const std::uint8_t first_block[BLOCK_BYTES], std::uint32_t length,
                  const std::uint8_t key[KEY_BYTES], std::uint8_t *pad, std::uint32_t *end)
{
    if (!whole_blocks(length)) {
        return -1;
    }
    std::uint8_t plain[BLOCK_BYTES];
    std::memcpy(plain, first_block, BLOCK_BYTES);
    aes128_decrypt_block(plain, key);
    return unseal_check(plain, length, pad, end);
}

int unseal_text(std::uint8_t *out, const std::uint8_t *sealed, std::uint32_t length,
                const std::uint8_t key[KEY_BYTES], std::uint8_t *pad, std::uint32_t *end)
{
    if (!whole_blocks(length)) {
        return -1;
    }
    aes128_decrypt_blocks_to(out, sealed, length / BLOCK_BYTES, key);
    return unseal_check(out, length, pad, end);
}

// The first block and the last partial one go through a block on the
// stack; the blocks between are deciphered straight to their place.
int unseal_payload(std::uint8_t *out, const std::uint8_t *sealed, std::uint32_t length,
                   const std::uint8_t key[KEY_BYTES], std::uint8_t *pad, std::uint32_t *end)
{
    constexpr std::uint32_t BLOCK = BLOCK_BYTES;
    std::uint8_t block[BLOCK];
    if (!whole_blocks(length)) {
        return -1;
    }
    std::memcpy(block, sealed, BLOCK);
    aes128_decrypt_block(block, key);
    if (unseal_check(block, length, pad, end) != 0) {
        return -1;
    }
    const std::uint32_t n = *end > SEAL_HEADER_SIZE ? *end - SEAL_HEADER_SIZE : 0;
    constexpr std::uint32_t first = BLOCK - SEAL_HEADER_SIZE;
    std::memcpy(out, block + SEAL_HEADER_SIZE, n < first ? n : first);
    // Blocks 1 to `whole` are payload throughout; the one after holds the
    // payload's last bytes and the padding.
    const std::uint32_t whole = *end >= BLOCK ? (*end - BLOCK) / BLOCK : 0;
    aes128_decrypt_blocks_to(out + first, sealed + BLOCK, whole, key);
    const std::uint32_t done = BLOCK * (whole + 1);
    if (*end > done) {
        std::memcpy(block, sealed + done, BLOCK);
        aes128_decrypt_block(block, key);
        std::memcpy(out + done - SEAL_HEADER_SIZE, block, *end - done);
    }
    return 0;
}

int unseal(std::uint8_t *buffer, std::uint32_t length, const std::uint8_t key[KEY_BYTES],
           std::uint8_t *pad, std::uint32_t *end)
{
    return unseal_text(buffer, buffer, length, key, pad, end);
}
