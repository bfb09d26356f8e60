// The sealed buffer format.
//
// Plain layout (n = payload length, P = pad count, L = total length):
//
//   offset   size  field
//   0        8     SEAL_MAGIC, "KAVRO" and three spaces
//   8        1     P, 0..15
//   9        n     payload
//   9 + n    P     SEAL_PAD_BYTE (space) padding up to a multiple of 16
//
// The L plain bytes are enciphered block by block with AES-128 under one key:
// no IV, no chaining, no authentication. Equal plain blocks under one key
// give equal sealed blocks. The caller owns the buffer; nothing here allocates.
#pragma once

#include <cstdint>

#include "seal/aes128.hpp"

inline constexpr std::uint8_t SEAL_MAGIC[8] = {'K', 'A', 'V', 'R', 'O', ' ', ' ', ' '};
inline constexpr std::uint32_t SEAL_HEADER_SIZE = 9;
inline constexpr std::uint8_t SEAL_PAD_BYTE = 0x20;

// The longest payload that is sealed (2^28 bytes), and so the longest
// sealed buffer there is: payload, header and at most 15 pad bytes.
inline constexpr std::uint32_t MAX_INPUT_BYTES = 268435456;
inline constexpr std::uint32_t MAX_SEALED_BYTES = MAX_INPUT_BYTES + 16;

// The two results of seal_layout.
struct seal_sizes {
    std::uint8_t pad;    // P
    std::uint32_t total; // L = n + 9 + P, a multiple of 16
};

// Pad count and total length for a payload of n bytes (n <= 2^28).
seal_sizes seal_layout(std::uint32_t n);

// Writes the magic, the pad count and the padding around the payload that
// already sits at offset 9 of a buffer of n + 9 + pad bytes.
void seal_frame(std::uint8_t *buffer, std::uint32_t n, std::uint8_t pad);

// Writes the 9 header bytes alone: the magic and the pad count.
void seal_header(std::uint8_t header[SEAL_HEADER_SIZE], std::uint8_t pad);

// Writes the whole sealed form of the n bytes at `text` (n <= 2^28) to
// `out`, seal_layout(n).total bytes that must not overlap the text: the
// blocks that hold text alone are enciphered straight from it, so the text
// is read once and the output written once.
void seal_text(std::uint8_t *out, const std::uint8_t *text, std::uint32_t n, const std::uint8_t key[KEY_BYTES]);

// Enciphers / deciphers the length / 16 whole blocks of buffer in place,
// each block on its own (any trailing partial block is left as it is).
void seal_encipher(std::uint8_t *buffer, std::uint32_t length, const std::uint8_t key[KEY_BYTES]);
void seal_decipher(std::uint8_t *buffer, std::uint32_t length, const std::uint8_t key[KEY_BYTES]);

// seal_text's other direction: deciphers the `length` sealed bytes at
// `sealed` into `out` (the same buffer, or one that does not overlap) and
// checks the header. Returns 0 with *pad and *end set (the payload is
// out[9 .. end), empty when end <= 9), or -1 for the format error: a length
// below 16 or not a multiple of 16 (then nothing is read), a wrong magic,
// or a pad count above 15.
int unseal_text(std::uint8_t *out, const std::uint8_t *sealed, std::uint32_t length,
                const std::uint8_t key[KEY_BYTES], std::uint8_t *pad, std::uint32_t *end);

// unseal_text with the payload alone laid out at out's start: out gets
// exactly the payload's end - 9 bytes (none when end <= 9), nothing of the
// header or the padding, and must not overlap `sealed`. The same checks and
// results.
int unseal_payload(std::uint8_t *out, const std::uint8_t *sealed, std::uint32_t length,
                   const std::uint8_t key[KEY_BYTES], std::uint8_t *pad, std::uint32_t *end);

// unseal_text in place.
int unseal(std::uint8_t *buffer, std::uint32_t length, const std::uint8_t key[KEY_BYTES],
           std::uint8_t *pad, std::uint32_t *end);

// unseal's checks on the deciphered first block of a sealed buffer of
// `length` bytes: 0 with *pad and *end set, or -1 for the format error.
int unseal_check(const std::uint8_t plain_first_block[BLOCK_BYTES], std::uint32_t length,
                 std::uint8_t *pad, std::uint32_t *end);

// unseal's outcome and outputs from the first block alone (its 16 bytes as
// sealed, left untouched) and the total length, without the rest of the
// buffer: lets a caller learn the payload's length before it holds the
// whole buffer.
int unseal_header(const std::uint8_t first_block[BLOCK_BYTES], std::uint32_t length,
                  const std::uint8_t key[KEY_BYTES], std::uint8_t *pad, std::uint32_t *end);
