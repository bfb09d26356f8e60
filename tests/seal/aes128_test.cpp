// The block cipher on the FIPS-197 examples and its basic properties.
#include <gtest/gtest.h>

#include "seal/aes128.hpp"
#include "tests/seal/core.hpp"
#include "tests/seal/hex.hpp"

namespace {

void expect_pair(const char *key_hex, const char *plain_hex, const char *cipher_hex)
{
    const auto key = from_hex(key_hex);
    auto block = from_hex(plain_hex);
    core_encrypt_block(block.data(), key.data());
    EXPECT_EQ(cipher_hex, to_hex(block));
    core_decrypt_block(block.data(), key.data());
    EXPECT_EQ(plain_hex, to_hex(block));
}

TEST(Aes128, Fips197AppendixB)
{
    expect_pair("2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
                "3925841d02dc09fbdc118597196a0b32");
}

TEST(Aes128, Fips197AppendixC1)
{
    expect_pair("000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
                "69c4e0d86a7b0430d8cdb78070b4c55a");
}

TEST(Aes128, OneKeyBitChangesTheResult)
{
    auto key = from_hex("000102030405060708090a0b0c0d0e0f");
    const auto plain = from_hex("00112233445566778899aabbccddeeff");
    for (std::size_t bit = 0; bit < 128; ++bit) {
        auto other = key;
        other[bit / 8] = static_cast<std::uint8_t>(other[bit / 8] ^ (1U << (bit % 8)));
        auto a = plain;
        auto b = plain;
        core_encrypt_block(a.data(), key.data());
        core_encrypt_block(b.data(), other.data());
        EXPECT_NE(a, b) << "key bit " << bit;
        core_decrypt_block(b.data(), key.data());
        EXPECT_NE(plain, b) << "key bit " << bit;
    }
}

TEST(Aes128, NoStateCarriesOverBetweenCalls)
{
    const auto key = from_hex("2b7e151628aed2a6abf7158809cf4f3c");
    auto first = from_hex("3243f6a8885a308d313198a2e0370734");
    auto second = first;
    core_encrypt_block(first.data(), key.data());
    core_encrypt_block(second.data(), key.data());
    EXPECT_EQ(first, second);
    core_decrypt_block(first.data(), key.data());
    core_decrypt_block(second.data(), key.data());
    EXPECT_EQ(first, second);
}

} // namespace

TEST(Aes128, EveryCoreGivesTheSameOutput)
{
    aes128_core cores[2];
    const std::size_t n = aes128_cores(cores);
    std::uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1664525U + 1013904223U; };
    for (int run = 0; run < 300; ++run) {
        const std::size_t count = 1 + next() % 23;
        std::vector<std::uint8_t> key(KEY_BYTES + 1);
        std::vector<std::uint8_t> plain(count * BLOCK_BYTES + 1);
        for (auto &b : key) {
            b = static_cast<std::uint8_t>(next() >> 24);
        }
        for (auto &b : plain) {
            b = static_cast<std::uint8_t>(next() >> 24);
        }
        std::vector<std::uint8_t> first;
        for (std::size_t c = 0; c < n; ++c) {
            if (!cores[c].available) {
                continue;
            }
            std::vector<std::uint8_t> data = plain;
            cores[c].encrypt_blocks(data.data() + 1, count, key.data() + 1); // odd addresses
            if (first.empty()) {
                first = data;
            }
            ASSERT_EQ(first, data) << cores[c].name << ", " << count << " blocks";
            cores[c].decrypt_blocks(data.data() + 1, count, key.data() + 1);
            ASSERT_EQ(plain, data) << cores[c].name;
        }
    }
}
