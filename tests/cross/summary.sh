#!/usr/bin/env bash
# After ctest in a cross build: per interpreter, how many Lua tests ran,
# passed and were skipped, and per AES core how many known-answer vectors
# were checked (or that the CPU, as qemu presents it, does not run it).
#   tests/cross/summary.sh <arch> <build folder>
set -euo pipefail
arch=$1 log=$2/Testing/Temporary/LastTest.log
awk -v arch="$arch" '
    /^[0-9]+\/[0-9]+ Testing: / { name = $3 }
    /successes \/ .* pending/ {
        interp = name; sub(/^[^.]*\./, "", interp)
        ok[interp] += $1; failed[interp] += $4; pending[interp] += $10
    }
    /vectors checked in/ { core = name; sub(/^[^.]*\.?/, "", core); vectors[core == "" ? "chosen" : core] += $1 }
    /this CPU does not run/ { core = name; sub(/^[^.]*\./, "", core); absent[core] = 1 }
    END {
        for (i in ok) printf "%s %s: %d passed, %d failed, %d skipped\n", arch, i, ok[i], failed[i], pending[i]
        for (c in vectors) printf "%s known answers, %s core: %d vectors checked\n", arch, c, vectors[c]
        for (c in absent) printf "%s %s core: not offered by this CPU, skipped\n", arch, c
    }' "$log"
