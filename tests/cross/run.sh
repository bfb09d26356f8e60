#!/usr/bin/env bash
# make cross and make test-cross, for each CPU of tests/cross/cpus and arm64
# with clang (or those named, <cpu> or <cpu>-clang): the module and its tests
# cross-built against the CPU's own Lua 5.1 headers into build-<name>/, the
# library's exports checked; with "test", then ctest under qemu-user, a
# summary of what ran where, and the portable core's instructions per CPU.
#   tests/cross/run.sh build|test [name ...]
set -euo pipefail
cd "$(dirname "$0")/../.."
mode=$1
shift
[ $# -gt 0 ] || set -- $(awk '!/^#/ { print $1 }' tests/cross/cpus) arm64-clang
jobs=$(nproc 2>/dev/null || echo 2)
for name in "$@"; do
    a=${name%-clang} compiler=gcc
    [ "$a" = "$name" ] || compiler=clang
    tests/cross/sysroot.sh "$a" "build-cross/root-$a"
    cmake -S . -B "build-$name" -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DVORSEL_CROSS_ARCH="$a" \
        -DVORSEL_CROSS_COMPILER="$compiler" \
        -DVORSEL_SYSROOT="$PWD/build-cross/root-$a" -DCMAKE_BUILD_TYPE=Release -DVORSEL_TESTS=AUTO >/dev/null
    cmake --build "build-$name" -j "$jobs"
    NM=$(sed -n 's/^CMAKE_NM:FILEPATH=//p' "build-$name/CMakeCache.txt") sh tests/check_library.sh "build-$name/vorsel.so" "build-$name/vorsel/strings.so"
done
[ "$mode" = test ] || exit 0
for name in "$@"; do ctest --test-dir "build-$name" --output-on-failure --no-tests=error -j "$jobs"; done
for name in "$@"; do tests/cross/summary.sh "$name" "build-$name"; done
tests/check_portable_ops.sh $(awk '!/^#/ { print $1 }' tests/cross/cpus)
