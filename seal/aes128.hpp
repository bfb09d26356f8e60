// AES-128 (FIPS-197, Nk = 4, Nr = 10) on single 16-byte blocks.
//
// Every call zero-fills a fresh working record, expands the key into it and
// runs the cipher; nothing is kept between calls and nothing is cleared.
// The S-box lookups are indexed by secret bytes, so timing can depend on the
// key and the data through the cache: this is not a constant-time cipher.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t KEY_BYTES = 16;
inline constexpr std::size_t BLOCK_BYTES = 16;

// The working record of one block operation.
struct aes128_ctx {
    std::uint8_t state[BLOCK_BYTES];  // byte n is row n % 4, column n / 4
    std::uint8_t round_key[176];      // round key r at bytes 16 r .. 16 r + 15
    const std::uint8_t *key;          // the caller's 16 raw key bytes
};

// Encipher / decipher one block in place under a 16-byte key.
void aes128_encrypt_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES]);
void aes128_decrypt_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES]);
