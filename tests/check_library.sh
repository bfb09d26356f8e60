#!/bin/sh
# Each built library (vorsel.so, vorsel/strings.so) exports its luaopen_ entry
# alone and needs neither the C++ runtime nor a Lua library at load time.
set -eu
used=""
for so in "$@"; do
    name=$(basename "$so" .so)
    entry=luaopen_vorsel
    [ "$name" = vorsel ] || entry=luaopen_vorsel_$name
    exports=$(${NM:-nm} -D --defined-only "$so" | awk '$2 ~ /^[TDBVWRiu]$/ {print $3}' \
        | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | tr '\n' ' ')
    needed=$(readelf -d "$so" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p' | tr '\n' ' ')
    echo "$so exports: $exports; needs: $needed"
    [ "$exports" = "$entry " ] || { echo "FAIL: expected $entry alone"; exit 1; }
    case "$needed" in
        *stdc++*|*liblua*|*luajit*|*libgcc_s*) echo "FAIL: unwanted runtime dependency"; exit 1 ;;
    esac
    readelf -S "$so" | grep -q '\.eh_frame' || { echo "FAIL: no unwind tables"; exit 1; }
    # (LuaJIT's luaJIT_setmode, a weak reference, only tells which Lua it is.)
    used="$used $(${NM:-nm} -u "$so" | awk '$2 ~ /^lua/ && $2 != "luaJIT_setmode" {print $2}')"
done
# The Windows import library is made from windows/lua51.def: it must name
# exactly the Lua functions the libraries call.
def="$(dirname "$0")/../windows/lua51.def"
used=$(echo $used | tr ' ' '\n' | sort -u | tr '\n' ' ')
listed=$(sed -n 's/^    \(lua[A-Za-z_]*\).*/\1/p' "$def" | sort | tr '\n' ' ')
[ "$used" = "$listed" ] || { echo "FAIL: windows/lua51.def lists '$listed', the libraries use '$used'"; exit 1; }
