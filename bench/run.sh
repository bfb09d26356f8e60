#!/usr/bin/env bash
# make bench: times under lua5.1 and LuaJIT, peak memory, instruction counts
# and the chart, all written under <build>/bench/.
set -euo pipefail
build=${1:-build}
out=$build/bench
mkdir -p "$out"
# glibc's moving mmap threshold makes large-table timings jump between runs.
export GLIBC_TUNABLES=glibc.malloc.mmap_threshold=131072

{
    echo "## vorsel benchmark ($(date -u +%Y-%m-%d), $(nproc) cores, $(uname -m))"
    echo
    echo "CPU time per call, median of several runs, in ns per payload byte; ratio = to the floor measured in the same run."
    echo
    for interp in lua5.1 luajit; do
        "$interp" bench/bench.lua "$build" "$out"
        echo
    done
    echo "### vorsel.bytes at 1 MiB, against encrypt of the same table"
    echo
    echo '```'
    lua5.1 bench/strings.lua "$build"
    luajit bench/strings.lua "$build"
    if [ -f "$build/bench/lua5.4/vorsel.so" ]; then lua5.4 bench/strings.lua "$build/bench/lua5.4"; fi
    bench/bytes_callgrind.sh "$build" lua5.1
    if [ -f "$build/bench/lua5.4/vorsel.so" ]; then bench/bytes_callgrind.sh "$build/bench/lua5.4" lua5.4; fi
    echo '```'
    echo
    echo "### vorsel.strings against the floor (one new string from the argument's bytes) and luaossl"
    echo
    echo '```'
    for run in "lua5.1 $build $build/bench" "luajit $build $build/bench" "lua5.4 $build/lua5.4 $build/bench/lua5.4" \
        "$build/lua5.5-dist/bin/lua5.5 $build/lua5.5 $build/bench/lua5.5"; do
        set -- $run
        [ -f "$2/vorsel/strings.so" ] && [ -f "$3/vorsel_floor.so" ] && command -v "$1" >/dev/null || continue
        "$1" bench/strings_floor.lua "$2" "$3"
        for who in floor vorsel luaossl; do "$1" bench/strings_floor.lua "$2" "$3" peak $who 2>/dev/null || true; done
    done
    echo '```'
    echo
    echo "### vorsel.strings against luaossl on a whole file job (AES-128-ECB, padding off)"
    echo
    echo '```'
    head -c 20000000 /dev/urandom >"$out/file.bin"
    for run in "lua5.1 $build" "luajit $build" "lua5.4 $build/bench/lua5.4"; do
        set -- $run
        [ -f "$2/vorsel/strings.so" ] || continue
        # Each job seven times, alternating; the run with the median CPU time.
        for r in 1 2 3 4 5 6 7; do
            for who in vorsel luaossl; do "$1" bench/strings_ossl.lua "$2" job $who "$out/file.bin" "$out/file.$who"; done
        done | sort -k 3 -n | awk '++n[$2] == 4'
        cmp "$out/file.vorsel" "$out/file.luaossl" && echo "$1: the sealed files are byte-identical"
    done
    rm -f "$out"/file.*
    echo '```'
    echo
    echo "### Streams: 256 MiB in 64 KiB pieces, against luaossl's update loop and the whole string"
    echo
    echo '```'
    for run in "lua5.1 $build" "luajit $build" "lua5.4 $build/bench/lua5.4"; do
        set -- $run
        [ -f "$2/vorsel/strings.so" ] || continue
        for what in stream-vorsel stream-luaossl whole; do "$1" bench/streams.lua "$2" 256 $what; done
    done
    bench/command.sh "$build"
    echo '```'
    echo
    echo "### Peak memory of one call on 16 Mi elements (MiB beyond what the process held)"
    echo
    echo '```'
    for interp in lua5.1 luajit; do
        for mode in floor encrypt decrypt; do
            "$interp" bench/peak.lua "$build" "$mode"
        done
    done
    echo '```'
    echo
    echo "### Instructions (callgrind)"
    echo
    echo '```'
    for interp in lua5.1 luajit; do
        bench/callgrind.sh "$build" 1024 "$interp"
    done
    echo '```'
    echo
    echo "### Block functions alone (Google Benchmark)"
    echo
    echo '```'
    # Medians of 9 runs, the cases interleaved at random so that a slow
    # spell of the machine does not fall on one of them alone.
    "$build"/bench/block_bench --benchmark_min_time=0.2 --benchmark_repetitions=9 \
        --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true 2>/dev/null |
        grep -E '^Benchmark|_median'
    echo '```'
} | tee "$out/bench.md"

gnuplot -e "dir='$out'" bench/chart.gp
echo "wrote $out/bench.md and $out/bench.png"
