#!/usr/bin/env bash
# make fuzz: libFuzzer on the Lua-facing functions and on unseal, for the
# given seconds each, from the seeds in tests/fuzz/corpus/; new inputs go to
# build-fuzz/corpus/, a crash's input to build-fuzz/.
#   tests/fuzz/run.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset fuzz >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)"
for t in lua_calls unseal; do
    mkdir -p "build-fuzz/corpus/$t"
    "build-fuzz/tests/fuzz/${t}_fuzz" -max_total_time="${1:-60}" -print_final_stats=1 -artifact_prefix=build-fuzz/ \
        "build-fuzz/corpus/$t" "tests/fuzz/corpus/$t" 2>&1 \
        | grep -E 'stat::number_of_executed_units|ERROR|invariant|unexpected|Test unit'
    [ "${PIPESTATUS[0]}" -eq 0 ]
done
