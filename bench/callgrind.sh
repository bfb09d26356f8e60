#!/usr/bin/env bash
# Instructions per byte of encrypt, decrypt and the floor for one size, from
# callgrind (stable from run to run, unlike times), with the split of the
# module's instructions between table reads, cipher and table writes.
#   bench/callgrind.sh [build dir] [n] [interpreter]
set -euo pipefail
build=${1:-build}
n=${2:-1024}
interp=${3:-lua5.1}
out=$build/bench
mkdir -p "$out"

count() { # mode toggle-pattern -> file
    valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.$1.out" \
        --toggle-collect="$2" "$interp" bench/call_once.lua "$build" "$1" "$n" >/dev/null 2>&1
    callgrind_annotate "$out/callgrind.$1.out" | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}'
}
inclusive() { # file function-pattern
    callgrind_annotate --inclusive=yes "$out/callgrind.$1.out" \
        | awk -v pat="$2" 'index($0, pat) {gsub(",", "", $1); print $1; exit}'
}

floor=$(count floor '*floor_roundtrip(*')
enc=$(count encrypt '*crypto_encrypt*')
dec=$(count decrypt '*crypto_decrypt*')
echo "callgrind, $interp, $n bytes: instructions per byte (ratio to the floor)"
awk -v f="$floor" -v e="$enc" -v d="$dec" -v n="$n" 'BEGIN {
    printf "  floor   %7.1f\n  encrypt %7.1f (%.2fx)\n  decrypt %7.1f (%.2fx)\n", f/n, e/n, e/f, d/n, d/f }'
for mode in encrypt decrypt; do
    total=$([ "$mode" = encrypt ] && echo "$enc" || echo "$dec")
    reads=$(inclusive "$mode" 'read_elements')
    cipher=$(inclusive "$mode" "aes128_${mode}_blocks")
    writes=$(inclusive "$mode" 'write_elements')
    awk -v t="$total" -v r="$reads" -v c="$cipher" -v w="$writes" -v m="$mode" 'BEGIN {
        printf "  %s split: table reads %.0f%%, block cipher (key expansion and rounds) %.0f%%, table writes %.0f%%, rest %.0f%%\n",
            m, 100*r/t, 100*c/t, 100*w/t, 100*(t-r-c-w)/t }'
done
