#!/usr/bin/env bash
# How CMake users meet the project:
#   - a plain `cmake -S . -B build && cmake --build build` on a machine with
#     only CMake, make, a C++ compiler and the Lua headers (the test and
#     benchmark tools are hidden from CMake here) builds the module and says
#     what it left out;
#   - a parent project that uses add_subdirectory gets the module target and
#     nothing else: no build type, no files in its build folder's root.
#   tests/check_cmake_use.sh
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Only the tools a user needs, on PATH.
mkdir "$work/bin"
for tool in cmake make c++ g++ gcc cc as ld ar ranlib sh; do
    ln -s "$(command -v "$tool")" "$work/bin/$tool"
done
# CMake looks in the standard folders whatever PATH says: those are ignored.
ignored="/usr/lib/x86_64-linux-gnu;/lib/x86_64-linux-gnu;/usr/bin;/bin;/usr/local/bin;/usr/sbin;/sbin"
hide=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON
      -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON "-DCMAKE_IGNORE_PATH=$ignored")
PATH="$work/bin" cmake -S "$src" -B "$work/plain" "${hide[@]}" >"$work/plain.log" 2>&1 \
    || { cat "$work/plain.log"; exit 1; }
PATH="$work/bin" cmake --build "$work/plain" >"$work/build.log" 2>&1 \
    || { cat "$work/build.log"; exit 1; }
test -f "$work/plain/vorsel.so"
if [ -e "$work/plain/tests" ] || grep -q "leaving out" "$work/plain.log"; then
    echo "FAIL: a plain build configured tests"; exit 1
fi
echo "plain build: the module alone ($(grep -c 'Building CXX' "$work/build.log") files compiled)"
# Asked for with AUTO, what the tools allow is built and the rest named.
PATH="$work/bin" cmake -S "$src" -B "$work/auto" "${hide[@]}" -DVORSEL_TESTS=AUTO >"$work/auto.log" 2>&1 \
    || { cat "$work/auto.log"; exit 1; }
grep -q "vorsel: leaving out the Lua tests" "$work/auto.log"
grep -q "vorsel: leaving out the sealing core's C++ tests: GoogleTest" "$work/auto.log"
echo "VORSEL_TESTS=AUTO with no test tools: $(grep -c 'leaving out' "$work/auto.log") groups left out"

# A machine whose only Lua headers are 5.4's: the build finds them itself.
PATH="$work/bin" cmake -S "$src" -B "$work/lua54" "${hide[@]}" \
    "-DCMAKE_IGNORE_PATH=$ignored;/usr/include/lua5.1;/usr/include/lua5.2;/usr/include/lua5.3;/usr/include/luajit-2.1" \
    >"$work/lua54.log" 2>&1 || { cat "$work/lua54.log"; exit 1; }
PATH="$work/bin" cmake --build "$work/lua54" >"$work/lua54-build.log" 2>&1 || { cat "$work/lua54-build.log"; exit 1; }
grep -q "vorsel: Lua 5.4 headers in /usr/include/lua5.4" "$work/lua54.log"
test -f "$work/lua54/vorsel.so"
echo "only Lua 5.4's headers: found and built against"

# With VORSEL_TESTS=ON the same machine is refused.
if PATH="$work/bin" cmake -S "$src" -B "$work/strict" "${hide[@]}" -DVORSEL_TESTS=ON >"$work/strict.log" 2>&1; then
    echo "FAIL: VORSEL_TESTS=ON configured without the test tools"; exit 1
fi
grep -q "VORSEL_TESTS=ON" "$work/strict.log"
echo "VORSEL_TESTS=ON without the tools: refused"

# A parent project.
mkdir "$work/parent"
cat >"$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(parent LANGUAGES CXX)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
add_subdirectory("$src" vorsel)
if(CMAKE_BUILD_TYPE)
  message(FATAL_ERROR "vorsel set the parent's build type")
endif()
if(NOT TARGET vorsel)
  message(FATAL_ERROR "no vorsel target")
endif()
CMAKE
cmake -S "$work/parent" -B "$work/parent-build" >"$work/parent.log" 2>&1 \
    || { cat "$work/parent.log"; exit 1; }
cmake --build "$work/parent-build" >"$work/parent-build.log" 2>&1 \
    || { cat "$work/parent-build.log"; exit 1; }
test -f "$work/parent-build/vorsel/vorsel.so"
# With no build type in the parent, vorsel's own files still compile optimised.
grep -E '"command": .*(binding|seal)/[a-z_0-9]+\.cpp' "$work/parent-build/compile_commands.json" >"$work/commands"
[ -s "$work/commands" ] && ! grep -v -q -- ' -O2 ' "$work/commands" \
    || { echo "FAIL: vorsel compiled without -O2 under a parent with no build type"; cat "$work/commands"; exit 1; }
if ls "$work/parent-build" | grep -q -v -E '^(CMakeCache.txt|CMakeFiles|Makefile|cmake_install.cmake|compile_commands.json|vorsel)$'; then
    echo "FAIL: vorsel wrote into the parent's build folder:"; ls "$work/parent-build"; exit 1
fi
if grep -q "add_test\|vorsel: leaving out" "$work/parent.log"; then
    echo "FAIL: tests configured in a parent project"; exit 1
fi
cmake --install "$work/parent-build" --prefix "$work/parent-prefix" >/dev/null
if [ -n "$(find "$work/parent-prefix" -type f 2>/dev/null)" ]; then
    echo "FAIL: the parent's install installs vorsel's files:"; find "$work/parent-prefix" -type f; exit 1
fi
echo "add_subdirectory: module only, parent's build folder and install untouched"
