#!/usr/bin/env bash
# Installs the module the two ways a user would, each into a private folder,
# and loads it from there with the plain interpreters:
#   - luarocks --lua-version=5.x --tree T make for Lua 5.1 to 5.4 (and luarocks lint);
#   - cmake --install <build dir> --prefix P, into P/lib/lua/5.1; and a build
#     for Lua 5.5 into P/lib/lua/5.5;
#   - the README's lines for several Lua versions in one shell, as a user;
#   - a plain CMake build without test tools, and add_subdirectory.
#   tests/check_install.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

try_module() { # interpreter cpath path
    "$1" -e "
        package.cpath, package.path = '$2', '$3'
        local v, bytes, strings = require 'vorsel', require 'vorsel.bytes', require 'vorsel.strings'
        local k = bytes.from_string('0123456789abcdef')
        assert(bytes.to_string(v.decrypt(v.encrypt(bytes.from_string('hi'), k), k)) == 'hi')
        assert(strings.decrypt(bytes.to_string(v.encrypt(bytes.from_string('hi'), k)), k) == 'hi')
        print('$1: loaded from $2 and $3')"
}

luarocks lint vorsel-1.8.0-1.rockspec
# One tree for all four versions: each installs into lib/lua/5.x.
for v in 5.1 5.2 5.3 5.4; do
    rm -rf build.luarocks
    luarocks --lua-version=$v --tree "$work/tree" make vorsel-1.8.0-1.rockspec >"$work/rock.log" 2>&1 \
        || { cat "$work/rock.log"; exit 1; }
    try_module "lua$v" "$work/tree/lib/lua/$v/?.so" "$work/tree/share/lua/$v/?.lua"
    # The command, as LuaRocks wraps it for this version.
    printf 'hi' | VORSEL_KEY=000102030405060708090a0b0c0d0e0f "$work/tree/bin/vorsel" seal \
        | VORSEL_KEY=000102030405060708090a0b0c0d0e0f "$work/tree/bin/vorsel" open | grep -qx hi
    # The tree as LuaRocks itself sets it up for a shell.
    (eval "$(luarocks --lua-version=$v --tree "$work/tree" path)"
     "lua$v" -e 'require "vorsel"; require "vorsel.bytes"; require "vorsel.strings"; print("found through luarocks path")')
done
# LuaJIT takes the 5.1 module from the same tree.
try_module luajit "$work/tree/lib/lua/5.1/?.so" "$work/tree/share/lua/5.1/?.lua"
rock_dir=$(luarocks --lua-version=5.1 --tree "$work/tree" show --rock-dir vorsel)
test -f "$rock_dir/types/vorsel.lua" || { echo "FAIL: no type definitions in $rock_dir/types"; exit 1; }
echo "type definitions in the rock's folder: types/vorsel.lua"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
try_module lua5.1 "$work/prefix/lib/lua/5.1/?.so" "$work/prefix/share/lua/5.1/?.lua"
test -f "$work/prefix/share/vorsel/types/vorsel.lua"
test -f "$work/prefix/share/vorsel/types/vorsel/bytes.lua"
test -f "$work/prefix/share/vorsel/types/vorsel/strings.lua"
printf 'hi' | VORSEL_KEY=000102030405060708090a0b0c0d0e0f LUA_CPATH="$work/prefix/lib/lua/5.1/?.so" \
    "$work/prefix/bin/vorsel" seal | head -c 16 | wc -c | grep -qx 16

# The README's lines for several Lua versions in one shell, as a plain user
# (a home of its own) runs them.
mkdir "$work/home"
rm -rf build.luarocks
lua5.1 tests/docs/readme.lua block install-check >"$work/versions.sh"
HOME="$work/home" bash -e "$work/versions.sh" >"$work/versions.log" 2>&1 || { cat "$work/versions.log"; exit 1; }
echo "the README's lines for several versions in one shell: ok"

# Lua 5.5, which LuaRocks 3.8.0 does not know: a plain CMake build against its
# headers, installed under lib/lua/5.5 and loaded by lua5.5. Where none is
# installed, the release sources beside the clone give both.
src55=${VORSEL_LUA55_SOURCE:-../shared/lua-5.5.0}
if command -v lua5.5 >/dev/null && [ -f /usr/include/lua5.5/lua.hpp ]; then
    lua55=lua5.5 inc55=/usr/include/lua5.5
elif [ -f "$src55/onelua.c" ]; then
    lua55=$work/lua5.5 inc55=$work/include55
    cc -O2 -w -DLUA_USE_LINUX -Wl,-E -o "$lua55" "$src55/onelua.c" -lm -ldl
    mkdir "$inc55" && cp "$src55"/{lua.h,luaconf.h,lualib.h,lauxlib.h} "$inc55/"
    printf 'extern "C" {\n#include "lua.h"\n#include "lualib.h"\n#include "lauxlib.h"\n}\n' >"$inc55/lua.hpp"
fi
if [ -n "${lua55:-}" ]; then
    cmake -S . -B "$work/build55" -DLUA_INCDIR="$inc55" >/dev/null
    cmake --build "$work/build55" -j 2 >/dev/null
    cmake --install "$work/build55" --prefix "$work/prefix55" >/dev/null
    test -f "$work/prefix55/lib/lua/5.5/vorsel.so" -a -f "$work/prefix55/lib/lua/5.5/vorsel/strings.so"
    try_module "$lua55" "$work/prefix55/lib/lua/5.5/?.so" "$work/prefix55/share/lua/5.5/?.lua"
else
    echo "no Lua 5.5 here (installed, or its sources at $src55): its CMake install is not checked"
fi

tests/check_cmake_use.sh
echo "install checks passed"
