#!/usr/bin/env bash
# Installs the module the two ways a user would, each into a private folder,
# and loads it from there with the plain interpreters:
#   - luarocks --lua-version=5.x --tree T make for Lua 5.1 to 5.4 (and luarocks lint);
#   - cmake --install <build dir> --prefix P, into P/lib/lua/5.1;
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

# The README's lines for several Lua versions in one shell, as a plain user
# (a home of its own) runs them.
mkdir "$work/home"
rm -rf build.luarocks
lua5.1 tests/docs/readme.lua block install-check >"$work/versions.sh"
HOME="$work/home" bash -e "$work/versions.sh" >"$work/versions.log" 2>&1 || { cat "$work/versions.log"; exit 1; }
echo "the README's lines for several versions in one shell: ok"

tests/check_cmake_use.sh
echo "install checks passed"
