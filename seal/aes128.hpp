// AES-128 (FIPS-197, Nk = 4, Nr = 10) on 16-byte blocks, each enciphered on
// its own (no chaining) under a raw 16-byte key.
//
// Every call expands the raw key afresh, once, into a schedule on the stack
// that no call outlives; nothing is cleared. The work goes to one of several cores, all giving the
// same output, chosen by what the CPU has:
//   - x86-64 and i386 with AES-NI: the CPU's AES instructions;
//   - arm64 with the ARMv8 Crypto Extensions: likewise;
//   - everywhere else: the portable bitsliced core.
// Every core is constant-time: no branch and no memory address depends on
// key or data bytes (the hardware instructions by design, the portable core
// by bitslicing). Built with VORSEL_CIPHER=portable, only the portable core
// is in the binary.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t KEY_BYTES = 16;
inline constexpr std::size_t BLOCK_BYTES = 16;

// Encipher / decipher one block in place under a 16-byte key.
void aes128_encrypt_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES]);
void aes128_decrypt_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES]);

// The same for `count` consecutive blocks, each on its own.
void aes128_encrypt_blocks(std::uint8_t *blocks, std::size_t count, const std::uint8_t key[KEY_BYTES]);
void aes128_decrypt_blocks(std::uint8_t *blocks, std::size_t count, const std::uint8_t key[KEY_BYTES]);

// The same from `in` to `out`: `count` blocks read from `in` and written,
// enciphered / deciphered, to `out`. The two are the same buffer (in place)
// or do not overlap at all.
void aes128_encrypt_blocks_to(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                              const std::uint8_t key[KEY_BYTES]);
void aes128_decrypt_blocks_to(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                              const std::uint8_t key[KEY_BYTES]);
