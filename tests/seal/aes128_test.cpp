// The block cipher on the FIPS-197 examples and its basic properties.
#include <gtest/gtest.h>

#include "seal/aes128.hpp"
#include "tests/seal/hex.hpp"

namespace {

void expect_pair(const char *key_hex, const char *plain_hex, const char *cipher_hex)
{
    const auto key = from_hex(key_hex);
    auto block = from_hex(plain_hex);
    aes128_encrypt_block(block.data(), key.data());
    EXPECT_EQ(cipher_hex, to_hex(block));
    aes128_decrypt_block(block.data(), key.data());
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
        aes128_encrypt_block(a.data(), key.data());
        aes128_encrypt_block(b.data(), other.data());
        EXPECT_NE(a, b) << "key bit " << bit;
        aes128_decrypt_block(b.data(), key.data());
        EXPECT_NE(plain, b) << "key bit " << bit;
    }
}

TEST(Aes128, NoStateCarriesOverBetweenCalls)
{
    const auto key = from_hex("2b7e151628aed2a6abf7158809cf4f3c");
    auto first = from_hex("3243f6a8885a308d313198a2e0370734");
    auto second = first;
    aes128_encrypt_block(first.data(), key.data());
    aes128_encrypt_block(second.data(), key.data());
    EXPECT_EQ(first, second);
    aes128_decrypt_block(first.data(), key.data());
    aes128_decrypt_block(second.data(), key.data());
    EXPECT_EQ(first, second);
}

} // namespace
