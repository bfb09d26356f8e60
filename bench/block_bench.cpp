// The block functions alone: one key expansion and one cipher pass each.
#include <benchmark/benchmark.h>

// The cipher's source, so that the key expansion can be timed on its own.
#include "seal/aes128.cpp"

namespace {

void block_function(benchmark::State &state, void (*fn)(std::uint8_t *, const std::uint8_t *))
{
    std::uint8_t key[KEY_BYTES] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::uint8_t block[BLOCK_BYTES] = {};
    for (auto _ : state) {
        fn(block, key);
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BLOCK_BYTES));
}

void key_expansion(benchmark::State &state)
{
    std::uint8_t key[KEY_BYTES] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    aes128_ctx ctx{};
    ctx.key = key;
    for (auto _ : state) {
        aes128_key_expansion(&ctx);
        benchmark::DoNotOptimize(ctx.round_key);
        key[0] = ctx.round_key[175]; // chain the calls
    }
}

BENCHMARK(key_expansion);
BENCHMARK_CAPTURE(block_function, encrypt_block, aes128_encrypt_block);
BENCHMARK_CAPTURE(block_function, decrypt_block, aes128_decrypt_block);

} // namespace

BENCHMARK_MAIN();
