#!/usr/bin/env bash
# vorsel.bytes at 1 MiB in instructions (callgrind), each net of the same
# script doing nothing, as ratios to encrypt of the same table.
#   bench/bytes_callgrind.sh <folder holding vorsel.so> [interpreter]
set -euo pipefail
dir=$1
interp=${2:-lua5.1}
count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$interp" bench/bytes_once.lua "$dir" "$1" 2>&1 \
        | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
none=$(count none)
enc=$(count encrypt)
to=$(count to_string)
from=$(count from_string)
awk -v n="$none" -v e="$enc" -v t="$to" -v f="$from" -v i="$interp" 'BEGIN {
    printf "%s, 1 MiB, instructions net of the setup: encrypt %.0f M, to_string %.0f M (%.2fx encrypt), from_string %.0f M (%.2fx)\n",
        i, (e-n)/1e6, (t-n)/1e6, (t-n)/(e-n), (f-n)/1e6, (f-n)/(e-n) }'
