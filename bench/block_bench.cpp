// Every AES-128 core alone, per block: one block at a time, and 64 blocks
// (1 KiB) per call, each direction. Each block expands the key itself.
#include <benchmark/benchmark.h>

#include <string>

#include "seal/aes128_cores.hpp"

namespace {

void run(benchmark::State &state, aes128_blocks_fn fn, std::size_t blocks)
{
    std::uint8_t key[KEY_BYTES] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::uint8_t data[64 * BLOCK_BYTES] = {};
    for (auto _ : state) {
        fn(data, blocks, key);
        benchmark::DoNotOptimize(data);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * blocks));
}

} // namespace

int main(int argc, char **argv)
{
    aes128_core cores[2];
    const std::size_t n = aes128_cores(cores);
    for (std::size_t c = 0; c < n; ++c) {
        if (!cores[c].available) {
            continue;
        }
        for (const std::size_t blocks : {std::size_t{1}, std::size_t{64}}) {
            const std::string suffix = "/" + std::to_string(blocks) + "_blocks";
            benchmark::RegisterBenchmark((std::string(cores[c].name) + "/encrypt" + suffix).c_str(), run,
                                         cores[c].encrypt_blocks, blocks);
            benchmark::RegisterBenchmark((std::string(cores[c].name) + "/decrypt" + suffix).c_str(), run,
                                         cores[c].decrypt_blocks, blocks);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
