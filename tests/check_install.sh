#!/usr/bin/env bash
# Installs the module the two ways a user would, each into a private folder,
# and loads it from there with the plain interpreters:
#   - luarocks --lua-version=5.x --tree T make for Lua 5.1 to 5.4 (and luarocks lint);
#   - cmake --install <build dir> --prefix P, into P/lib/lua/5.1;
#   - a plain CMake build without test tools, and add_subdirectory.
#   tests/check_install.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

try_module() { # interpreter cpath
    "$1" -e "
        package.cpath = '$2'
        local v = require 'vorsel'
        local k = {} for i = 1, 16 do k[i] = i end
        local back = v.decrypt(v.encrypt({ 104, 105 }, k), k)
        assert(#back == 2 and back[1] == 104 and back[2] == 105)
        print('$1: loaded from $2')"
}

luarocks lint vorsel-1.8.0-1.rockspec
# One tree for all four versions: each installs into lib/lua/5.x.
for v in 5.1 5.2 5.3 5.4; do
    rm -rf build.luarocks
    luarocks --lua-version=$v --tree "$work/tree" make vorsel-1.8.0-1.rockspec >"$work/rock.log" 2>&1 \
        || { cat "$work/rock.log"; exit 1; }
    try_module "lua$v" "$work/tree/lib/lua/$v/?.so"
    # The tree as LuaRocks itself sets it up for a shell.
    (eval "$(luarocks --lua-version=$v --tree "$work/tree" path)"
     "lua$v" -e 'require "vorsel"; print("found through luarocks path")')
done
rock_dir=$(luarocks --lua-version=5.1 --tree "$work/tree" show --rock-dir vorsel)
test -f "$rock_dir/types/vorsel.lua" || { echo "FAIL: no type definitions in $rock_dir/types"; exit 1; }
echo "type definitions in the rock's folder: types/vorsel.lua"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
try_module lua5.1 "$work/prefix/lib/lua/5.1/?.so"
test -f "$work/prefix/share/vorsel/types/vorsel.lua"

tests/check_cmake_use.sh
echo "install checks passed"
