#!/bin/sh
# The built module exports luaopen_vorsel alone and needs neither the C++
# runtime nor a Lua library at load time.
set -eu
so="$1"
exports=$(${NM:-nm} -D --defined-only "$so" | awk '$2 ~ /^[TDBVWRiu]$/ {print $3}' \
    | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | tr '\n' ' ')
needed=$(readelf -d "$so" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p' | tr '\n' ' ')
echo "exports: $exports"
echo "needs: $needed"
[ "$exports" = "luaopen_vorsel " ] || { echo "FAIL: expected luaopen_vorsel alone"; exit 1; }
case "$needed" in
    *stdc++*|*liblua*|*luajit*|*libgcc_s*) echo "FAIL: unwanted runtime dependency"; exit 1 ;;
esac
readelf -S "$so" | grep -q '\.eh_frame' || { echo "FAIL: no unwind tables"; exit 1; }
# The Windows import library is made from windows/lua51.def: it must name
# exactly the Lua functions the module calls.
def="$(dirname "$0")/../windows/lua51.def"
used=$(${NM:-nm} -u "$so" | awk '$2 ~ /^lua/ {print $2}' | sort | tr '\n' ' ')
listed=$(sed -n 's/^    \(lua[A-Za-z_]*\).*/\1/p' "$def" | sort | tr '\n' ' ')
[ "$used" = "$listed" ] || { echo "FAIL: windows/lua51.def lists '$listed', the module uses '$used'"; exit 1; }
