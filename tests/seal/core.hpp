// The AES-128 core that a sealing test runs: VORSEL_CORE names one of the
// build's cores ("portable", "hardware"); unset, the library's own choice.
// A named core this CPU does not run skips every test of the program.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "seal/aes128_cores.hpp"

inline const aes128_core *named_core()
{
    static aes128_core cores[2];
    static const aes128_core *chosen = [] {
        const char *name = std::getenv("VORSEL_CORE");
        const std::size_t n = aes128_cores(cores);
        for (std::size_t i = 0; name != nullptr && i < n; ++i) {
            if (std::strcmp(cores[i].name, name) == 0) {
                return static_cast<const aes128_core *>(&cores[i]);
            }
        }
        return static_cast<const aes128_core *>(nullptr);
    }();
    return chosen;
}

inline void core_encrypt_blocks(std::uint8_t *blocks, std::size_t count, const std::uint8_t *key)
{
    const aes128_core *core = named_core();
    core != nullptr ? core->encrypt_blocks(blocks, count, key) : aes128_encrypt_blocks(blocks, count, key);
}

inline void core_decrypt_blocks(std::uint8_t *blocks, std::size_t count, const std::uint8_t *key)
{
    const aes128_core *core = named_core();
    core != nullptr ? core->decrypt_blocks(blocks, count, key) : aes128_decrypt_blocks(blocks, count, key);
}

inline void core_encrypt_block(std::uint8_t *block, const std::uint8_t *key)
{
    core_encrypt_blocks(block, 1, key);
}

inline void core_decrypt_block(std::uint8_t *block, const std::uint8_t *key)
{
    core_decrypt_blocks(block, 1, key);
}

class core_environment : public testing::Environment {
  public:
    void SetUp() override
    {
        const char *name = std::getenv("VORSEL_CORE");
        if (name == nullptr) {
            return;
        }
        const aes128_core *core = named_core();
        if (core == nullptr) {
            GTEST_SKIP() << "this build has no core named " << name;
        }
        if (!core->available) {
            GTEST_SKIP() << "this CPU does not run the " << name << " core";
        }
        std::printf("core: %s\n", name);
    }
};

inline testing::Environment *const CORE_ENVIRONMENT = testing::AddGlobalTestEnvironment(new core_environment);
