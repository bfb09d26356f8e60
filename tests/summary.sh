#!/bin/sh
# What ctest runs checked and skipped, read from their logs: the known-answer
# vectors each cipher test checked, then one line per test that skipped
# anything, with its reasons, from the "[skipped here: <reason>]" mark that
# every skipping test or case prints.
#   tests/summary.sh [--check] <LastTest.log>...
# --check: fails on a reason that is not in tests/skips.allowed.
set -eu
check=no
[ "${1:-}" = --check ] && { check=yes; shift; }
allowed="$(dirname "$0")/skips.allowed"
awk -v check="$check" -v allowed="$allowed" '
    FILENAME == allowed { if ($0 !~ /^#/ && $0 != "") ok[$0] = 1; next }
    /^[0-9]+\/[0-9]+ Testing: / { name = $3 }
    /vectors checked in / { if (!(name in vectors)) kat[++nkat] = name; vectors[name] += $1 }
    match($0, /\[skipped here: [^]]*\]/) {
        reason = substr($0, RSTART + 15, RLENGTH - 16)
        if ((name, reason) in seen) next
        seen[name, reason] = 1
        if (check == "yes" && !(reason in ok)) { reason = reason " (NOT ALLOWED)"; bad = 1 }
        if (name in why) why[name] = why[name] "; " reason
        else { skipped[++nskipped] = name; why[name] = reason }
    }
    function sort(a, n,   i, j, t) {
        for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    }
    END {
        sort(kat, nkat)
        sort(skipped, nskipped)
        for (i = 1; i <= nkat; ++i) printf "%s: %d known-answer vectors checked\n", kat[i], vectors[kat[i]]
        for (i = 1; i <= nskipped; ++i) printf "skipped in %s: %s\n", skipped[i], why[skipped[i]]
        if (bad) print "a test skipped for a reason that tests/skips.allowed does not list"
        exit bad
    }' "$allowed" "$@"
