// The block cipher on the FIPS-197 examples and its basic properties, runs
// of blocks in buffers of exact size (run under valgrind: a read or write
// past either end is an error), and the library's choice of core.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#elif (defined(__aarch64__) || defined(__arm__)) && defined(__linux__)
#include <sys/auxv.h>
#endif

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

// Every group shape of both directions: runs of 1 to 9 blocks and one of
// 70, each in a heap block of exactly its size, against the same blocks
// enciphered one at a time.
TEST(Aes128, RunsOfBlocksInBuffersOfExactSize)
{
    std::uint32_t seed = 2026;
    auto next = [&seed] { return static_cast<std::uint8_t>((seed = seed * 1664525U + 1013904223U) >> 24); };
    for (const std::size_t count : {1U, 2U, 3U, 4U, 5U, 6U, 7U, 8U, 9U, 70U}) {
        const std::size_t size = count * BLOCK_BYTES;
        const std::unique_ptr<std::uint8_t[]> key(new std::uint8_t[KEY_BYTES]);
        const std::unique_ptr<std::uint8_t[]> run(new std::uint8_t[size]);
        std::vector<std::uint8_t> plain(size);
        for (std::size_t i = 0; i < KEY_BYTES; ++i) {
            key[i] = next();
        }
        for (auto &b : plain) {
            b = next();
        }
        std::vector<std::uint8_t> one_by_one = plain;
        for (std::size_t at = 0; at < size; at += BLOCK_BYTES) {
            core_encrypt_block(one_by_one.data() + at, key.get());
        }
        std::memcpy(run.get(), plain.data(), size);
        core_encrypt_blocks(run.get(), count, key.get());
        EXPECT_EQ(to_hex(one_by_one), to_hex(run.get(), size)) << "encrypt, " << count << " blocks";
        core_decrypt_blocks(run.get(), count, key.get());
        EXPECT_EQ(to_hex(plain), to_hex(run.get(), size)) << "decrypt, " << count << " blocks";
    }
}

// Input, output and key at every offset from 0 to 15 past a 16-byte
// boundary, apart and in place, both ways, for one block and for a group of
// eight and one more: a core that loads or stores a word at a misaligned
// address fails here on a CPU that traps it (MIPS; 32-bit ARM for
// doubleword and multiple loads), and under UBSan's alignment check.
TEST(Aes128, BuffersAtEveryOffsetGiveTheSameBlocks)
{
    constexpr std::size_t most = 9 * BLOCK_BYTES;
    struct alignas(16) buffers {
        std::uint8_t key[2 * KEY_BYTES], in[most + 16], out[most + 16];
    } b = {};
    std::uint8_t plain[most], sealed[most];
    for (std::size_t i = 0; i < most; ++i) {
        plain[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const std::uint8_t key[KEY_BYTES] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 255, 254, 253, 252, 251, 250};
    for (const std::size_t count : {1U, 9U}) {
        const std::size_t size = count * BLOCK_BYTES;
        std::memcpy(sealed, plain, size);
        for (std::size_t at = 0; at < size; at += BLOCK_BYTES) {
            core_encrypt_block(sealed + at, key);
        }
        for (std::size_t i = 0; i < 16; ++i) {
            std::memcpy(b.key + i, key, KEY_BYTES);
            for (std::size_t o = 0; o < 16; ++o) {
                std::memcpy(b.in + i, plain, size);
                core_encrypt_blocks_to(b.out + o, b.in + i, count, b.key + i);
                ASSERT_EQ(to_hex(sealed, size), to_hex(b.out + o, size))
                    << count << " blocks, in +" << i << ", out +" << o;
                core_decrypt_blocks_to(b.in + i, b.out + o, count, b.key + i);
                ASSERT_EQ(to_hex(plain, size), to_hex(b.in + i, size))
                    << count << " blocks, back, +" << o << " to +" << i;
            }
            core_encrypt_blocks_to(b.in + i, b.in + i, count, b.key + i);
            ASSERT_EQ(to_hex(sealed, size), to_hex(b.in + i, size)) << count << " blocks in place at +" << i;
            core_decrypt_blocks_to(b.in + i, b.in + i, count, b.key + i);
            ASSERT_EQ(to_hex(plain, size), to_hex(b.in + i, size)) << count << " blocks back in place at +" << i;
        }
    }
}

// A key that lies inside the blocks it enciphers is read before any block
// is written: the output is the one a separate copy of the key gives.
TEST(Aes128, AKeyInsideTheBlocksActsAsACopyOfIt)
{
    for (const std::size_t count : {1U, 5U, 9U, 70U}) {
        const std::size_t last = count * BLOCK_BYTES - KEY_BYTES;
        for (const std::size_t at : {std::size_t{0}, last < 21 ? last : 21, last}) {
            std::vector<std::uint8_t> run(count * BLOCK_BYTES);
            for (std::size_t i = 0; i < run.size(); ++i) {
                run[i] = static_cast<std::uint8_t>(i * 7 + 1);
            }
            const std::vector<std::uint8_t> key(run.begin() + static_cast<long>(at),
                                                run.begin() + static_cast<long>(at + KEY_BYTES));
            std::vector<std::uint8_t> expected = run;
            core_encrypt_blocks(expected.data(), count, key.data());
            std::vector<std::uint8_t> inside = run;
            core_encrypt_blocks(inside.data(), count, inside.data() + at);
            EXPECT_EQ(to_hex(expected), to_hex(inside)) << "encrypt, " << count << " blocks, key at " << at;
            expected = run;
            core_decrypt_blocks(expected.data(), count, key.data());
            inside = run;
            core_decrypt_blocks(inside.data(), count, inside.data() + at);
            EXPECT_EQ(to_hex(expected), to_hex(inside)) << "decrypt, " << count << " blocks, key at " << at;
        }
    }
}

// The core the library should use, asked of the CPU itself (CPUID, the
// auxiliary vector), not of the library.
const char *expected_core()
{
#if defined(VORSEL_CIPHER_PORTABLE)
    return "portable";
#elif defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    const bool aes = __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_AES) != 0 && (c & bit_SSSE3) != 0;
#if defined(__x86_64__)
    // The wide core wants AVX2 and VAES, and YMM registers the system saves.
    unsigned xcr0 = 0;
    if (aes && (c & bit_OSXSAVE) != 0 && (c & bit_AVX) != 0) {
        __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(d) : "c"(0));
    }
    if ((xcr0 & 6) == 6 && __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0 && (b & bit_AVX2) != 0 &&
        (c & bit_VAES) != 0) {
        return "vaes";
    }
#endif
    return aes ? "hardware" : "portable";
#elif defined(__aarch64__) && defined(__linux__)
    return (getauxval(AT_HWCAP) & (1 << 3)) != 0 ? "hardware" : "portable"; // HWCAP_AES
#elif defined(__arm__) && defined(__linux__) && !defined(__clang__)
    // AT_HWCAP2's HWCAP2_AES, with AT_HWCAP's HWCAP_NEON
    return (getauxval(AT_HWCAP2) & 1) != 0 && (getauxval(AT_HWCAP) & (1 << 12)) != 0 ? "hardware" : "portable";
#else
    return "portable";
#endif
}

TEST(Aes128, TheLibraryUsesTheHardwareCoreExactlyWhereTheCpuHasIt)
{
    const char *expected = expected_core();
    EXPECT_STREQ(expected, aes128_chosen_core().name);
    aes128_core cores[MOST_CORES];
    const std::size_t n = aes128_cores(cores);
    bool hardware = false, wide = false;
    for (std::size_t i = 0; i < n; ++i) {
        hardware = hardware || (std::strcmp(cores[i].name, "hardware") == 0 && cores[i].available);
        wide = wide || (std::strcmp(cores[i].name, "vaes") == 0 && cores[i].available);
    }
    EXPECT_EQ(std::strcmp(expected, "portable") != 0, hardware) << "the hardware core's availability";
    EXPECT_EQ(std::strcmp(expected, "vaes") == 0, wide) << "the vaes core's availability";
    std::printf("the library's core on this CPU: %s\n", aes128_chosen_core().name);
}

#if defined(__x86_64__) && !defined(VORSEL_CIPHER_PORTABLE)
// Each feature the wide core needs, taken away alone, leaves it out; the
// YMM state too, which no qemu-user model can take away alone.
TEST(Aes128, TheWideCoreWantsEveryFeatureAndTheYmmState)
{
    const std::uint32_t ecx1 = bit_AES | bit_SSSE3 | bit_AVX | bit_OSXSAVE;
    EXPECT_TRUE(aes128_vaes_usable(ecx1, 0xe7, bit_AVX2, bit_VAES));
    for (const int bit : {bit_AES, bit_SSSE3, bit_AVX, bit_OSXSAVE}) {
        EXPECT_FALSE(aes128_vaes_usable(ecx1 & ~static_cast<std::uint32_t>(bit), 0xe7, bit_AVX2, bit_VAES))
            << "leaf 1 ECX bit " << bit;
    }
    EXPECT_FALSE(aes128_vaes_usable(ecx1, 0xe3, bit_AVX2, bit_VAES)) << "no YMM state";
    EXPECT_FALSE(aes128_vaes_usable(ecx1, 0xe5, bit_AVX2, bit_VAES)) << "no SSE state";
    EXPECT_FALSE(aes128_vaes_usable(ecx1, 0xe7, 0, bit_VAES)) << "no AVX2";
    EXPECT_FALSE(aes128_vaes_usable(ecx1, 0xe7, bit_AVX2, 0)) << "no VAES";
}
#endif

} // namespace

TEST(Aes128, EveryCoreGivesTheSameOutput)
{
    aes128_core cores[MOST_CORES];
    const std::size_t n = aes128_cores(cores);
    ASSERT_TRUE(n >= 1 && cores[0].available) << "the portable core is listed first in every build, and runs";
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
            cores[c].encrypt_blocks(data.data() + 1, data.data() + 1, count, key.data() + 1); // odd addresses
            if (first.empty()) {
                first = data;
            }
            ASSERT_EQ(first, data) << cores[c].name << ", " << count << " blocks";
            // From one buffer to another, at another offset, both ways.
            std::vector<std::uint8_t> apart(plain.size() + 2);
            cores[c].encrypt_blocks(apart.data() + 3, plain.data() + 1, count, key.data() + 1);
            ASSERT_TRUE(std::equal(data.begin() + 1, data.end(), apart.begin() + 3)) << cores[c].name << ", apart";
            cores[c].decrypt_blocks(data.data() + 1, apart.data() + 3, count, key.data() + 1);
            ASSERT_EQ(plain, data) << cores[c].name << ", apart";
            cores[c].decrypt_blocks(apart.data() + 3, apart.data() + 3, count, key.data() + 1);
            ASSERT_TRUE(std::equal(plain.begin() + 1, plain.end(), apart.begin() + 3)) << cores[c].name;
        }
    }
}
