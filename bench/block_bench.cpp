// Every AES-128 core alone: one block, 64 blocks (1 KiB) and 1024 blocks
// (16 KiB) per call, each direction, each call expanding the key once; and
// OpenSSL's EVP AES-128-ECB (padding off, key set once) on the same 1 KiB
// and 16 KiB in the same process, the yardstick.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "seal/aes128_cores.hpp"

namespace {

constexpr std::size_t MOST_BLOCKS = 1024;
const std::uint8_t KEY[KEY_BYTES] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
alignas(64) std::uint8_t data[MOST_BLOCKS * BLOCK_BYTES];

void run(benchmark::State &state, aes128_blocks_fn fn, std::size_t blocks)
{
    for (auto _ : state) {
        fn(data, data, blocks, KEY);
        benchmark::DoNotOptimize(data);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * blocks * BLOCK_BYTES));
}

void run_openssl(benchmark::State &state, bool encrypt, std::size_t blocks)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr, KEY, nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int out = 0;
    for (auto _ : state) {
        EVP_CipherUpdate(ctx, data, &out, data, static_cast<int>(blocks * BLOCK_BYTES));
        benchmark::DoNotOptimize(data);
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * blocks * BLOCK_BYTES));
}

} // namespace

int main(int argc, char **argv)
{
    aes128_core cores[MOST_CORES];
    const std::size_t n = aes128_cores(cores);
    for (const std::size_t blocks : {std::size_t{1}, std::size_t{64}, MOST_BLOCKS}) {
        const std::string suffix = "/" + std::to_string(blocks) + "_blocks";
        for (std::size_t c = 0; c < n; ++c) {
            if (!cores[c].available) {
                continue;
            }
            benchmark::RegisterBenchmark((std::string(cores[c].name) + "/encrypt" + suffix).c_str(), run,
                                         cores[c].encrypt_blocks, blocks);
            benchmark::RegisterBenchmark((std::string(cores[c].name) + "/decrypt" + suffix).c_str(), run,
                                         cores[c].decrypt_blocks, blocks);
        }
        if (blocks > 1) { // OpenSSL's one-block call is dominated by its dispatch, not the cipher
            benchmark::RegisterBenchmark(("openssl/encrypt" + suffix).c_str(), run_openssl, true, blocks);
            benchmark::RegisterBenchmark(("openssl/decrypt" + suffix).c_str(), run_openssl, false, blocks);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
