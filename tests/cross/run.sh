#!/usr/bin/env bash
# make cross and make test-cross, for each CPU of tests/cross/cpus (or those
# named): the module and its tests cross-built against the CPU's own Lua
# 5.1 headers into build-<cpu>/, the library's exports checked; with "test",
# then ctest under qemu-user and a summary of what ran where.
#   tests/cross/run.sh build|test [cpu ...]
set -euo pipefail
cd "$(dirname "$0")/../.."
mode=$1
shift
[ $# -gt 0 ] || set -- $(awk '!/^#/ { print $1 }' tests/cross/cpus)
jobs=$(nproc 2>/dev/null || echo 2)
for a in "$@"; do
    tests/cross/sysroot.sh "$a" "build-cross/root-$a"
    cmake -S . -B "build-$a" -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DVORSEL_CROSS_ARCH="$a" \
        -DVORSEL_SYSROOT="$PWD/build-cross/root-$a" -DCMAKE_BUILD_TYPE=Release -DVORSEL_BENCH=OFF >/dev/null
    cmake --build "build-$a" -j "$jobs"
    NM=$(sed -n 's/^CMAKE_NM:FILEPATH=//p' "build-$a/CMakeCache.txt") sh tests/check_library.sh "build-$a/vorsel.so"
done
[ "$mode" = test ] || exit 0
for a in "$@"; do ctest --test-dir "build-$a" --output-on-failure -j "$jobs"; done
for a in "$@"; do tests/cross/summary.sh "$a" "build-$a"; done
