#!/usr/bin/env bash
# Unpacks Debian's Lua 5.1 (and, where Debian has it, LuaJIT) for another
# architecture into a folder, with the headers to build against, busted's C
# dependencies, GoogleTest and the C libraries they need, for qemu-user's -L. Nothing is
# installed: the packages are fetched with apt-get download (the
# architecture must be known to dpkg: scripts/install-deps cross adds it)
# and unpacked with dpkg -x.
#   tests/cross/sysroot.sh <arch of tests/cross/cpus> <folder>
set -euo pipefail
arch=$1 root=$(realpath -m "$2")
[ -f "$root/.complete" ] && exit 0
packages="libc6 libgcc-s1 libreadline8 libtinfo6 liblua5.1-0 liblua5.1-0-dev lua5.1
lua-term lua-system lua-filesystem libgtest-dev"
luajit=no
if grep -q -E "^$arch .* luajit$" "$(dirname "$0")/cpus"; then
    luajit=yes
    packages="$packages luajit libluajit-5.1-2"
fi
debs=$(mktemp -d)
trap 'rm -rf "$debs"' EXIT
names=""
for p in $packages; do names="$names $p:$arch"; done
[ "$luajit" = no ] || names="$names libluajit-5.1-common"
# shellcheck disable=SC2086
chmod 755 "$debs"
(cd "$debs" && apt-get download -qq $names 2>&1 | grep -v "unsandboxed" || true)
ls "$debs"/*.deb >/dev/null
mkdir -p "$root"
for deb in "$debs"/*.deb; do dpkg -x "$deb" "$root"; done
touch "$root/.complete"
echo "sysroot for $arch: $root"
