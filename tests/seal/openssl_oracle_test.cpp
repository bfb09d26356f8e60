// OpenSSL's AES-128-ECB as an independent oracle: random keys and blocks in
// both directions, and whole sealed buffers against the ECB encryption of the
// expected plain frame.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "seal/sealed_buffer.hpp"
#include "tests/seal/core.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

bytes openssl_ecb(const bytes &key, const bytes &in, bool encrypt)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    bytes out(in.size() + BLOCK_BYTES);
    int n = 0;
    int tail = 0;
    EXPECT_EQ(1, EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key.data(), nullptr,
                                   encrypt ? 1 : 0));
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EXPECT_EQ(1, EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())));
    EXPECT_EQ(1, EVP_CipherFinal_ex(ctx, out.data() + n, &tail));
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + tail));
    return out;
}

bytes random_bytes(std::mt19937 &rng, std::size_t n)
{
    bytes out(n);
    for (auto &b : out) {
        b = static_cast<std::uint8_t>(rng());
    }
    return out;
}

TEST(OpenSslOracle, RandomBlocksBothDirections)
{
    std::mt19937 rng(20261208);
    for (int i = 0; i < 20000; ++i) {
        const bytes key = random_bytes(rng, KEY_BYTES);
        const bytes block = random_bytes(rng, BLOCK_BYTES);
        bytes mine = block;
        core_encrypt_block(mine.data(), key.data());
        ASSERT_EQ(openssl_ecb(key, block, true), mine) << "encrypt, case " << i;
        mine = block;
        core_decrypt_block(mine.data(), key.data());
        ASSERT_EQ(openssl_ecb(key, block, false), mine) << "decrypt, case " << i;
    }
}

TEST(OpenSslOracle, RunsOfBlocksAtOddAddresses)
{
    std::mt19937 rng(1208);
    for (int i = 0; i < 2000; ++i) {
        const std::size_t count = 1 + rng() % 40;
        const std::size_t skew = 1 + rng() % 15;
        const bytes key = random_bytes(rng, KEY_BYTES + 1);
        const bytes plain = random_bytes(rng, count * BLOCK_BYTES);
        const bytes key16(key.begin() + 1, key.end());
        bytes space(skew + plain.size());
        std::copy(plain.begin(), plain.end(), space.begin() + static_cast<long>(skew));
        core_encrypt_blocks(space.data() + skew, count, key.data() + 1);
        ASSERT_EQ(openssl_ecb(key16, plain, true), bytes(space.begin() + static_cast<long>(skew), space.end()))
            << "encrypt, " << count << " blocks";
        core_decrypt_blocks(space.data() + skew, count, key.data() + 1);
        ASSERT_EQ(plain, bytes(space.begin() + static_cast<long>(skew), space.end())) << "decrypt";
    }
}

TEST(OpenSslOracle, SealedBuffersAreEcbOfThePlainFrame)
{
    std::mt19937 rng(8121202);
    for (std::uint32_t n = 1; n <= 600; n += 1 + static_cast<std::uint32_t>(rng() % 7)) {
        const bytes key = random_bytes(rng, KEY_BYTES);
        const bytes payload = random_bytes(rng, n);
        const seal_sizes sizes = seal_layout(n);
        bytes frame(sizes.total);
        std::copy(payload.begin(), payload.end(), frame.begin() + SEAL_HEADER_SIZE);
        seal_frame(frame.data(), n, sizes.pad);

        bytes sealed = frame;
        seal_encipher(sealed.data(), sizes.total, key.data());
        ASSERT_EQ(openssl_ecb(key, frame, true), sealed) << "n = " << n;

        bytes opened = openssl_ecb(key, frame, true);
        std::uint8_t pad = 0;
        std::uint32_t end = 0;
        ASSERT_EQ(0, unseal(opened.data(), sizes.total, key.data(), &pad, &end));
        EXPECT_EQ(frame, opened);
        EXPECT_EQ(SEAL_HEADER_SIZE + n, end);
    }
}

} // namespace
