#!/usr/bin/env bash
# After ctest in a cross build: per interpreter, how many Lua tests ran,
# passed and were skipped, and how many known-answer vectors were checked.
#   tests/cross/summary.sh <arch> <build folder>
set -euo pipefail
arch=$1 log=$2/Testing/Temporary/LastTest.log
awk -v arch="$arch" '
    /^[0-9]+\/[0-9]+ Testing: / { name = $3 }
    /successes \/ .* pending/ {
        interp = name; sub(/^[^.]*\./, "", interp)
        ok[interp] += $1; failed[interp] += $4; pending[interp] += $10
    }
    /vectors checked in/ { vectors += $1 }
    END {
        for (i in ok) printf "%s %s: %d passed, %d failed, %d skipped\n", arch, i, ok[i], failed[i], pending[i]
        printf "%s known answers: %d vectors checked\n", arch, vectors
    }' "$log"
