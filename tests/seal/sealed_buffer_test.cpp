// The sealed buffer format: layout, framing, sealing and unsealing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "seal/sealed_buffer.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

const bytes KEY = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                   0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};

bytes plain_frame(const bytes &payload)
{
    const auto n = static_cast<std::uint32_t>(payload.size());
    const seal_sizes sizes = seal_layout(n);
    bytes buffer(sizes.total);
    std::copy(payload.begin(), payload.end(), buffer.begin() + SEAL_HEADER_SIZE);
    seal_frame(buffer.data(), n, sizes.pad);
    return buffer;
}

// Seals in place, with a check that seal_text, from the payload to a
// buffer apart (one byte off), writes the same bytes and nothing beyond
// them. Every sealing below goes through here.
bytes seal(const bytes &payload, const bytes &key = KEY)
{
    bytes buffer = plain_frame(payload);
    seal_encipher(buffer.data(), static_cast<std::uint32_t>(buffer.size()), key.data());
    bytes apart(buffer.size() + 2, 0xee);
    const std::uint8_t none = 0;
    seal_text(apart.data() + 1, payload.empty() ? &none : payload.data(), static_cast<std::uint32_t>(payload.size()),
              key.data());
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), apart.begin() + 1)) << "n = " << payload.size();
    EXPECT_EQ(0xee, apart.front());
    EXPECT_EQ(0xee, apart.back());
    return buffer;
}

// Enciphers a hand-made plain buffer as sealing would.
bytes encipher(bytes plain)
{
    seal_encipher(plain.data(), static_cast<std::uint32_t>(plain.size()), KEY.data());
    return plain;
}

// unseal, with a check that unseal_header, given the same buffer's first
// block alone (which it must leave as it is), has the same outcome and
// outputs. Every test below goes through here.
int checked_unseal(bytes &buffer, const bytes &key, std::uint8_t *pad, std::uint32_t *end)
{
    const auto length = static_cast<std::uint32_t>(buffer.size());
    bytes first(BLOCK_BYTES, 0);
    std::copy_n(buffer.begin(), std::min<std::size_t>(buffer.size(), BLOCK_BYTES), first.begin());
    const bytes first_before = first;
    std::uint8_t header_pad = 77;
    std::uint32_t header_end = 77;
    const int header_result = unseal_header(first.data(), length, key.data(), &header_pad, &header_end);
    // unseal_payload into a block of the payload's exact length (on the
    // heap, where the sanitizers see a byte written past it).
    const std::size_t n = header_result == 0 && header_end > SEAL_HEADER_SIZE ? header_end - SEAL_HEADER_SIZE : 0;
    const std::unique_ptr<std::uint8_t[]> payload(new std::uint8_t[n]);
    std::uint8_t payload_pad = 77;
    std::uint32_t payload_end = 77;
    const int payload_result = unseal_payload(payload.get(), buffer.data(), length, key.data(), &payload_pad,
                                              &payload_end);
    const int result = unseal(buffer.data(), length, key.data(), pad, end);
    EXPECT_EQ(result, header_result) << "length " << length;
    EXPECT_EQ(result, payload_result) << "length " << length;
    EXPECT_EQ(first_before, first);
    if (result == 0) {
        EXPECT_EQ(*pad, header_pad);
        EXPECT_EQ(*end, header_end);
        EXPECT_EQ(*end, payload_end);
        EXPECT_TRUE(std::equal(payload.get(), payload.get() + n, buffer.begin() + SEAL_HEADER_SIZE))
            << "the payload laid out at the start, length " << length;
    }
    return result;
}

// Unseals and returns the payload, or fails the test.
bytes open(bytes sealed, const bytes &key = KEY)
{
    std::uint8_t pad = 0;
    std::uint32_t end = 0;
    EXPECT_EQ(0, checked_unseal(sealed, key, &pad, &end));
    if (end <= SEAL_HEADER_SIZE) {
        return {};
    }
    return bytes(sealed.begin() + SEAL_HEADER_SIZE, sealed.begin() + end);
}

int unseal_result(bytes sealed, const bytes &key = KEY)
{
    std::uint8_t pad = 0;
    std::uint32_t end = 0;
    return checked_unseal(sealed, key, &pad, &end);
}

bytes header_with_pad(std::uint8_t pad, std::size_t length)
{
    bytes b(length, 'x');
    std::memcpy(b.data(), SEAL_MAGIC, sizeof SEAL_MAGIC);
    b[8] = pad;
    return b;
}

TEST(SealedBuffer, ThreeBytePayloadLayout)
{
    const bytes expected = {'K', 'A', 'V', 'R', 'O', ' ', ' ', ' ', 4, 1, 2, 3, ' ', ' ', ' ', ' '};
    EXPECT_EQ(expected, plain_frame({1, 2, 3}));
}

TEST(SealedBuffer, LayoutAtThePaddingBoundaries)
{
    struct { std::uint32_t n; std::uint8_t pad; std::uint32_t total; } cases[] = {
        {1, 6, 16}, {7, 0, 16}, {8, 15, 32}, {23, 0, 32}, {24, 15, 48},
        {(1U << 28) - 9, 0, 1U << 28}, {(1U << 28) - 8, 15, (1U << 28) + 16},
        {1U << 28, 7, (1U << 28) + 16},
    };
    for (const auto &c : cases) {
        const seal_sizes s = seal_layout(c.n);
        EXPECT_EQ(c.pad, s.pad) << "n = " << c.n;
        EXPECT_EQ(c.total, s.total) << "n = " << c.n;
    }
}

TEST(SealedBuffer, RoundTripsEveryLengthUnderSeveralKeys)
{
    for (std::uint8_t k = 0; k < 3; ++k) {
        bytes key = KEY;
        key[0] = static_cast<std::uint8_t>(key[0] + k);
        for (std::uint32_t n = 0; n <= 400; ++n) {
            bytes payload(n);
            std::iota(payload.begin(), payload.end(), static_cast<std::uint8_t>(n));
            const bytes sealed = seal(payload, key);
            ASSERT_EQ(0U, sealed.size() % BLOCK_BYTES);
            ASSERT_EQ(payload, open(sealed, key)) << "n = " << n;
        }
    }
}

TEST(SealedBuffer, EqualInputsGiveEqualOutputs)
{
    bytes payload(7 + 32, 'A'); // plain blocks 1 and 2 are equal
    std::fill(payload.begin(), payload.begin() + 7, 'p');
    const bytes a = seal(payload);
    EXPECT_EQ(a, seal(payload));
    EXPECT_TRUE(std::equal(a.begin() + 16, a.begin() + 32, a.begin() + 32));
    EXPECT_FALSE(std::equal(a.begin(), a.begin() + 16, a.begin() + 16));
}

TEST(SealedBuffer, WrongKeyOrAlteredFirstBlockIsAFormatError)
{
    const bytes sealed = seal({1, 2, 3, 4, 5});
    bytes other = KEY;
    other[15] ^= 1;
    EXPECT_EQ(-1, unseal_result(sealed, other));
    for (std::size_t i = 0; i < BLOCK_BYTES; ++i) {
        bytes altered = sealed;
        altered[i] ^= 0x80;
        EXPECT_EQ(-1, unseal_result(altered)) << "byte " << i;
    }
}

TEST(SealedBuffer, EveryByteOfTheMagicIsChecked)
{
    for (std::size_t i = 0; i < sizeof SEAL_MAGIC; ++i) {
        for (const int change : {1, -1, 0x80}) {
            bytes plain = header_with_pad(0, 16);
            plain[i] = static_cast<std::uint8_t>(plain[i] + change);
            EXPECT_EQ(-1, unseal_result(encipher(plain))) << "magic byte " << i << " changed by " << change;
        }
    }
    EXPECT_EQ(0, unseal_result(encipher(header_with_pad(0, 16))));
}

TEST(SealedBuffer, PadCountAbove15IsAFormatError)
{
    EXPECT_EQ(-1, unseal_result(encipher(header_with_pad(16, 32))));
    EXPECT_EQ(-1, unseal_result(encipher(header_with_pad(255, 16))));
}

TEST(SealedBuffer, PadCountReachingIntoTheHeaderGivesAnEmptyPayload)
{
    EXPECT_EQ(bytes{}, open(encipher(header_with_pad(15, 16))));
    EXPECT_EQ(bytes{}, open(encipher(header_with_pad(7, 16))));
    EXPECT_EQ(bytes{'x'}, open(encipher(header_with_pad(6, 16))));
}

TEST(SealedBuffer, PaddingBytesAreNotExamined)
{
    // Pad count 2 cuts off two bytes that are not spaces.
    const bytes payload = open(encipher(header_with_pad(2, 32)));
    EXPECT_EQ(bytes(32 - 2 - 9, 'x'), payload);
}

TEST(SealedBuffer, OnlyWholeBlocksAreAccepted)
{
    // A plain buffer that starts with the magic must not pass as sealed data
    // just because it is too short to decipher, and trailing bytes must not be
    // returned undeciphered.
    for (std::size_t length : std::initializer_list<std::size_t>{0, 1, 8, 9, 12, 15, 17, 25, 31, 33, 47}) {
        bytes buffer = length >= 9 ? header_with_pad(0, length) : bytes(length, 'K');
        const bytes before = buffer;
        std::uint8_t pad = 99;
        std::uint32_t end = 99;
        EXPECT_EQ(-1, checked_unseal(buffer, KEY, &pad, &end)) << "length " << length;
        EXPECT_EQ(before, buffer) << "length " << length << " was touched";
        EXPECT_EQ(99, pad);
    }
    bytes sealed = seal(bytes(20, 7));
    sealed.push_back(0);
    EXPECT_EQ(-1, unseal_result(sealed));
}

} // namespace
