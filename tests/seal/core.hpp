// The AES-128 core that a cipher test runs, named by VORSEL_CORE: a core of
// this build ("portable", "hardware") runs that core alone; empty or unset,
// the library's own choice, through aes128_encrypt_blocks and its kin.
// tests/seal/main.cpp checks the name before any case runs.
#pragma once

#include <cstdlib>
#include <cstring>

#include "seal/aes128_cores.hpp"

// The named core, or nullptr for the library's own choice. The second
// result tells a name that this build has no core for.
inline const aes128_core *named_core(bool *unknown = nullptr)
{
    static aes128_core cores[MOST_CORES];
    static bool missing = false;
    static const aes128_core *chosen = [] {
        const char *name = std::getenv("VORSEL_CORE");
        if (name == nullptr || *name == '\0') {
            return static_cast<const aes128_core *>(nullptr);
        }
        const std::size_t n = aes128_cores(cores);
        for (std::size_t i = 0; i < n; ++i) {
            if (std::strcmp(cores[i].name, name) == 0) {
                return static_cast<const aes128_core *>(&cores[i]);
            }
        }
        missing = true;
        return static_cast<const aes128_core *>(nullptr);
    }();
    if (unknown != nullptr) {
        *unknown = missing;
    }
    return chosen;
}

inline void core_encrypt_blocks(std::uint8_t *blocks, std::size_t count, const std::uint8_t *key)
{
    const aes128_core *core = named_core();
    core != nullptr ? core->encrypt_blocks(blocks, blocks, count, key) : aes128_encrypt_blocks(blocks, count, key);
}

inline void core_decrypt_blocks(std::uint8_t *blocks, std::size_t count, const std::uint8_t *key)
{
    const aes128_core *core = named_core();
    core != nullptr ? core->decrypt_blocks(blocks, blocks, count, key) : aes128_decrypt_blocks(blocks, count, key);
}

// From one buffer to another (in place when they are the same).
inline void core_encrypt_blocks_to(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                   const std::uint8_t *key)
{
    const aes128_core *core = named_core();
    core != nullptr ? core->encrypt_blocks(out, in, count, key) : aes128_encrypt_blocks_to(out, in, count, key);
}

inline void core_decrypt_blocks_to(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                   const std::uint8_t *key)
{
    const aes128_core *core = named_core();
    core != nullptr ? core->decrypt_blocks(out, in, count, key) : aes128_decrypt_blocks_to(out, in, count, key);
}

// One block: the library's own one-block functions for its choice.
inline void core_encrypt_block(std::uint8_t *block, const std::uint8_t *key)
{
    named_core() != nullptr ? core_encrypt_blocks(block, 1, key) : aes128_encrypt_block(block, key);
}

inline void core_decrypt_block(std::uint8_t *block, const std::uint8_t *key)
{
    named_core() != nullptr ? core_decrypt_blocks(block, 1, key) : aes128_decrypt_block(block, key);
}
