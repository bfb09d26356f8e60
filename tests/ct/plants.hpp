// The flaws the secret-independence checks plant, to see them caught: a
// table lookup by a secret byte, and a branch on one. Each has a side
// effect, so that it really happens; and a name of its own, which
// memcheck's report shows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "seal/aes128_cores.hpp"

namespace {

volatile std::uint8_t TABLE[256];

__attribute__((noinline)) void plant_lookup(const std::uint8_t *secret)
{
    TABLE[0] = TABLE[secret[0]];
}

__attribute__((noinline)) void plant_branch(const std::uint8_t *secret)
{
    if ((secret[0] & 1) != 0) {
        TABLE[1] = 1;
    }
}

// The flawed copy's settings (set once by main).
void (*FLAW)(const std::uint8_t *) = nullptr;
std::size_t FLAW_TAIL = 0;
aes128_blocks_fn FLAW_CORE = nullptr;

} // namespace
