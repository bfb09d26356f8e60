#!/usr/bin/env bash
# Runs one Lua test file under busted inside a Windows host under Wine.
#   tests/windows/run-busted.sh <x64|x86> <lua51|luajit> <module folder> <work folder> <test file>
# The work folder (build-wine) holds the hosts that build-hosts.sh
# made, busted's C libraries and the Wine prefix. busted's Lua parts are
# Debian's files, read through Wine's Z: drive.
set -euo pipefail
width=$1 host=$2 module_dir=$3 file=$(basename "$5")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(realpath "$4")
exe=$work/$width/$host/$([ "$host" = luajit ] && echo luajit.exe || echo lua.exe)
[ -f "$exe" ] || { echo "no $exe: run tests/windows/build-hosts.sh first" >&2; exit 1; }

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LUA_PATH="Z:$root/tests/stand-ins/?.lua;Z:/usr/share/lua/5.1/?.lua;Z:/usr/share/lua/5.1/?/init.lua;;"
export LUA_CPATH="Z:$work/$width/clib/?.dll;;"
export VORSEL_BUILD_DIR="Z:$(realpath "$module_dir")"
[ -f "$work/openssl_answers.lua" ] && export VORSEL_OPENSSL_ANSWERS="Z:$work/openssl_answers.lua"
# DLLs the module imports besides the Lua DLL (the stand-in host library).
[ -n "${VORSEL_WINE_PATH:-}" ] && export WINEPATH="Z:$VORSEL_WINE_PATH"
# 64-bit hosts go straight to Debian's 64-bit loader: the wine script
# prefers the 32-bit one, which not every kernel can run.
wine=wine
if [ "$width" = x64 ] && [ -x /usr/lib/wine/wine64 ]; then
    wine=/usr/lib/wine/wine64
    export WINELOADER=$wine
fi
cd "$root/tests/lua"
"$wine" "$exe" Z:/usr/bin/busted --pattern=_test --output=plainTerminal --helper=helper.lua "$file"
