// The cores behind aes128.hpp, each a complete AES-128 over whole blocks
// with the contract of aes128_encrypt_blocks_to / aes128_decrypt_blocks_to
// (in place when out == in).
// Internal to the sealing core, and to the tests and benchmarks, which run
// every core the build contains.
#pragma once

#include <cstddef>
#include <cstdint>

#include "seal/aes128.hpp"

using aes128_blocks_fn = void (*)(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                  const std::uint8_t *key);

// Portable, bitsliced: every build has it, and it runs on every CPU.
void aes128_portable_encrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                    const std::uint8_t key[KEY_BYTES]);
void aes128_portable_decrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                    const std::uint8_t key[KEY_BYTES]);

// The CPU's AES instructions, where the build has them (AES-NI on x86,
// the ARMv8 Crypto Extensions on arm64 and, built by GCC, on 32-bit ARM);
// to be called only when aes128_hardware_available() is true.
bool aes128_hardware_available();
void aes128_hardware_encrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                    const std::uint8_t key[KEY_BYTES]);
void aes128_hardware_decrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                    const std::uint8_t key[KEY_BYTES]);

// The CPU's AES instructions on 256-bit registers (VAES), two blocks per
// instruction: x86-64 builds with the AES instructions have it; to be
// called only when aes128_vaes_available() is true (CPUID shows VAES and
// AVX2, and XGETBV that the operating system saves the YMM registers).
bool aes128_vaes_available();
// The test behind it, on what CPUID's leaf 1 (ECX) and leaf 7 (EBX, ECX)
// and XGETBV (XCR0) say: pure, so that the tests can give it any CPU.
bool aes128_vaes_usable(std::uint32_t ecx1, std::uint32_t xcr0, std::uint32_t ebx7, std::uint32_t ecx7);
void aes128_vaes_encrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                const std::uint8_t key[KEY_BYTES]);
void aes128_vaes_decrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                const std::uint8_t key[KEY_BYTES]);

// Every core of this build, for the tests: name, whether this CPU runs it,
// and its two functions.
struct aes128_core {
    const char *name;
    bool available;
    aes128_blocks_fn encrypt_blocks;
    aes128_blocks_fn decrypt_blocks;
};

inline constexpr std::size_t MOST_CORES = 3;

// Fills `cores` and returns how many there are: the portable core first,
// then the hardware core where the build has one, then the wide one where
// the build has it.
std::size_t aes128_cores(aes128_core cores[MOST_CORES]);

// The core this build uses on this CPU: the last available of
// aes128_cores' list (vaes, hardware, portable).
aes128_core aes128_chosen_core();
