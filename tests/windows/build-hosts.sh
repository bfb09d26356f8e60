#!/usr/bin/env bash
# Builds the four Windows hosts the Lua tests run in under Wine: Lua 5.1.5
# and LuaJIT 2.1, each for x64 and x86, from Debian's source packages, with
# mingw-w64. Also builds busted's C dependencies for each width
# (LuaFileSystem and lua-term); busted's Lua parts are Debian's own files.
#
#   tests/windows/build-hosts.sh <work folder>
#
# Leaves <work>/<width>/<host>/ with lua.exe (luajit.exe for LuaJIT) and its
# lua51.dll, and <work>/<width>/clib/ with lfs.dll, term/core.dll and
# luahost.dll (the stand-in host library of tests/host). The
# sources are fetched into <work>/src with apt-get source (a deb-src entry
# is needed: scripts/install-deps test-windows adds one) and never kept here.
set -euo pipefail
work=$(realpath -m "$1")
mkdir -p "$work/src"
jobs=$(nproc 2>/dev/null || echo 2)

fetch() { "$(dirname "$0")/../fetch_source.sh" "$work/src" "$1"; }

lua_src=$(fetch lua5.1)
luajit_src=$(fetch luajit)
lfs_src=$(fetch lua-filesystem)
term_src=$(fetch lua-term)

build_lua51() { # cross prefix, out folder
    local cc=$1-gcc out=$2 obj
    [ -f "$out/lua.exe" ] && return 0
    mkdir -p "$out/obj"
    for c in "$lua_src"/src/*.c; do
        case $(basename "$c") in lua.c|luac.c|print.c) continue ;; esac
        obj="$out/obj/$(basename "$c" .c).o"
        "$cc" -O2 -w -DLUA_BUILD_AS_DLL -c "$c" -o "$obj"
    done
    "$cc" -shared -static-libgcc -o "$out/lua51.dll" "$out"/obj/*.o \
        -Wl,--out-implib,"$out/liblua51.dll.a"
    "$cc" -O2 -static-libgcc -I"$lua_src/src" -o "$out/lua.exe" "$lua_src/src/lua.c" "$out/liblua51.dll.a"
    rm -rf "$out/obj"
}

build_luajit() { # cross prefix, host compiler, out folder
    local cross=$1 host_cc=$2 out=$3 tree
    [ -f "$out/luajit.exe" ] && return 0
    tree="$work/luajit-$(basename "$(dirname "$out")")"
    rm -rf "$tree" && cp -a "$luajit_src" "$tree"
    make -C "$tree/src" -j "$jobs" -s HOST_CC="$host_cc" CROSS="$cross-" TARGET_SYS=Windows \
        BUILDMODE=dynamic TARGET_XLDFLAGS=-static-libgcc TARGET_XSHLDFLAGS="-shared -static-libgcc" \
        amalg >/dev/null 2>&1
    mkdir -p "$out"
    cp "$tree/src/luajit.exe" "$tree/src/lua51.dll" "$out/"
    # luajit.exe looks for its jit.* Lua modules beside itself.
    mkdir -p "$out/lua/jit" && cp "$tree"/src/jit/*.lua "$out/lua/jit/"
    rm -rf "$tree"
}

build_clibs() { # cross prefix, Lua 5.1 folder (its import library), out folder
    local cc=$1-gcc lua=$2 out=$3
    [ -f "$out/luahost.dll" ] && return 0
    mkdir -p "$out/term"
    "$cc" -O2 -shared -static-libgcc -I"$lua_src/src" -o "$out/lfs.dll" "$lfs_src/src/lfs.c" \
        "$lua/liblua51.dll.a"
    "$cc" -O2 -shared -static-libgcc -I"$lua_src/src" -o "$out/term/core.dll" "$term_src/core.c" \
        "$lua/liblua51.dll.a"
    # The stand-in host library that exports luaL_errorlevel.
    "$1-g++" -O2 -shared -static-libgcc -static-libstdc++ -I"$lua_src/src" -I"$lua_src/etc" -o "$out/luahost.dll" \
        "$(dirname "$0")/../host/errorlevel_host.cpp" "$lua/liblua51.dll.a"
}

for width in x64 x86; do
    if [ "$width" = x64 ]; then
        cross=x86_64-w64-mingw32 host_cc=gcc
    else
        # LuaJIT's build tools must be 32-bit for a 32-bit target, and Wine
        # runs 32-bit hosts only where the kernel runs 32-bit x86 code.
        cross=i686-w64-mingw32 host_cc="i686-linux-gnu-gcc -static"
        printf 'int main(void) { return 0; }\n' > "$work/probe32.c"
        if ! { $host_cc -o "$work/probe32" "$work/probe32.c" && "$work/probe32"; } 2>/dev/null; then
            echo "windows hosts for x86: skipped, this machine cannot run 32-bit x86 code"
            continue
        fi
    fi
    build_lua51 "$cross" "$work/$width/lua51"
    build_luajit "$cross" "$host_cc" "$work/$width/luajit"
    build_clibs "$cross" "$work/$width/lua51" "$work/$width/clib"
    echo "windows hosts for $width: $work/$width/{lua51/lua.exe,luajit/luajit.exe}"
done
