#!/usr/bin/env bash
# make windows and make test-windows. "build": vorsel.dll for x64 and x86
# with mingw-w64, read back (exports, imports, version record), and once
# more for a host whose Lua DLL is lua5.1.dll. "test": the Windows hosts
# built from Debian's sources (build-hosts.sh), the module for the host's
# own luaL_errorlevel, and the Lua test files in the hosts under Wine.
#   tests/windows/run.sh build|test
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=$(nproc 2>/dev/null || echo 2)
build() { # preset, build folder, cmake options...
    cmake --preset "$1" -B "$2" "${@:3}" >/dev/null && cmake --build "$2" -j "$jobs"
}
if [ "$1" = build ]; then
    for w in x64 x86; do
        build "windows-$w" "build-windows-$w"
        tests/check_windows_dll.sh "build-windows-$w/vorsel.dll"
    done
    build windows-x64 build-windows-x64-lua5.1 -DVORSEL_LUA_DLL=lua5.1.dll
    tests/check_windows_dll.sh build-windows-x64-lua5.1/vorsel.dll lua5.1.dll | grep imports
    exit 0
fi
tests/windows/build-hosts.sh build-wine
build windows-x64 build-windows-x64-hosterr -DVORSEL_HOST_ERRORLEVEL=ON
(cd tests/lua && lua5.1 write_openssl_answers.lua ../../build-wine/openssl_answers.lua)
# Debian's wine script prefers the 32-bit loader, which not every kernel runs.
WINEPREFIX=$PWD/build-wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
cmake -S tests/windows -B build-wine/ctest >/dev/null
ctest --test-dir build-wine/ctest --output-on-failure --no-tests=error -j "$jobs"
