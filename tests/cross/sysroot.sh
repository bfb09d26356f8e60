#!/usr/bin/env bash
# Puts together a folder for qemu-user's -L with what another CPU needs to
# build and run the tests: Lua 5.1 (and, where Debian has it, LuaJIT) with
# the headers to build against, busted's C dependencies, GoogleTest and the
# C libraries they need. Nothing is installed. Where Debian has the CPU's
# packages, they are fetched with apt-get download (the architecture must be
# known to dpkg: scripts/install-deps cross adds it) and unpacked with
# dpkg -x. Where it has none, the cross compiler's own C library is copied in
# and Lua 5.1, LuaFileSystem, lua-term and GoogleTest are built from
# Debian's sources (tests/fetch_source.sh) with the cross compiler; busted's
# lua-system is the stand-in of tests/stand-ins.
#   tests/cross/sysroot.sh <arch of tests/cross/cpus> <folder>
set -euo pipefail
arch=$1 root=$(realpath -m "$2")
[ -f "$root/.complete" ] && exit 0
here=$(cd "$(dirname "$0")" && pwd)
read -r _ triple multiarch _ has_luajit from < <(grep -E "^$arch " "$here/cpus")
if [ "$from" = sources ]; then
    src=$(dirname "$root")/src jobs=$(nproc 2>/dev/null || echo 2)
    fetch() { "$here/../fetch_source.sh" "$src" "$1"; }
    lua=$(fetch lua5.1) lfs=$(fetch lua-filesystem) term=$(fetch lua-term) gtest=$(fetch googletest)
    rm -rf "$root" && mkdir -p "$root/lib" "$root/usr/bin" "$root/usr/include/lua5.1" \
        "$root/usr/include/$multiarch" "$root/usr/lib/$multiarch/lua/5.1/term" "$root/usr/share/lua/5.1"
    cp -a /usr/"$triple"/lib/. "$root/lib/"
    # Lua 5.1 as Debian builds it (its paths, with the multiarch folder),
    # the interpreter exporting the Lua API to modules.
    printf '#define DEB_HOST_MULTIARCH "%s"\n' "$multiarch" >"$root/usr/include/$multiarch/lua5.1-deb-multiarch.h"
    cp "$lua"/src/{lua.h,luaconf.h,lualib.h,lauxlib.h} "$lua/etc/lua.hpp" "$root/usr/include/lua5.1/"
    cc=$triple-gcc flags="-O2 -w -I$root/usr/include/lua5.1 -I$root/usr/include/$multiarch"
    clib=$root/usr/lib/$multiarch/lua/5.1
    obj=$(mktemp -d)
    for c in "$lua"/src/*.c; do
        case $(basename "$c") in lua.c|luac.c|print.c) continue ;; esac
        $cc $flags -DLUA_USE_POSIX -DLUA_USE_DLOPEN -c "$c" -o "$obj/$(basename "$c" .c).o"
    done
    $cc $flags -DLUA_USE_POSIX -DLUA_USE_DLOPEN -Wl,-E -o "$root/usr/bin/lua5.1" "$lua/src/lua.c" "$obj"/*.o -ldl -lm
    rm -rf "$obj"
    $cc $flags -shared -fPIC -o "$clib/lfs.so" "$lfs/src/lfs.c"
    $cc $flags -shared -fPIC -o "$clib/term/core.so" "$term/core.c"
    cp "$here/../stand-ins/system.lua" "$root/usr/share/lua/5.1/system.lua"
    cmake -S "$gtest" -B "$src/gtest-$arch" -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_CXX_COMPILER="$triple-g++" \
        -DCMAKE_C_COMPILER="$triple-gcc" -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF \
        -DCMAKE_INSTALL_PREFIX="$root/usr" -DCMAKE_INSTALL_LIBDIR="lib/$multiarch" >/dev/null
    cmake --build "$src/gtest-$arch" -j "$jobs" >/dev/null && cmake --install "$src/gtest-$arch" >/dev/null
    touch "$root/.complete"
    echo "sysroot for $arch, built from Debian's sources: $root"
    exit 0
fi
packages="libc6 libgcc-s1 libreadline8 libtinfo6 liblua5.1-0 liblua5.1-0-dev lua5.1
lua-term lua-system lua-filesystem libgtest-dev"
[ "$has_luajit" != luajit ] || packages="$packages luajit libluajit-5.1-2"
debs=$(mktemp -d)
trap 'rm -rf "$debs"' EXIT
names=""
for p in $packages; do names="$names $p:$arch"; done
[ "$has_luajit" != luajit ] || names="$names libluajit-5.1-common"
# shellcheck disable=SC2086
chmod 755 "$debs"
(cd "$debs" && apt-get download -qq $names 2>&1 | grep -v "unsandboxed" || true)
ls "$debs"/*.deb >/dev/null
mkdir -p "$root"
for deb in "$debs"/*.deb; do dpkg -x "$deb" "$root"; done
touch "$root/.complete"
echo "sysroot for $arch: $root"
