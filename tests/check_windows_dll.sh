#!/usr/bin/env bash
# Reads the cross-built vorsel.dll back with tools other than the linker and
# resource compiler that wrote it (objdump and exiftool), and checks its
# export list, the DLLs it needs and every field of its version record.
#   tests/check_windows_dll.sh build-windows-x64/vorsel.dll [Lua DLL name]
set -euo pipefail
dll=$1 lua_dll=${2:-lua51.dll}
fail=0
check() { # what expected actual
    if [ "$2" = "$3" ]; then
        echo "ok   $1: $3"
    else
        echo "FAIL $1: expected '$2', got '$3'"
        fail=1
    fi
}

dump=$(x86_64-w64-mingw32-objdump -p "$dll") # reads PE32 and PE32+ alike
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[ \t]*\[/ {print $NF} on && /^$/ {on=0}' <<<"$dump" | tr '\n' ' ')
check "exports" "luaopen_vorsel " "$exports"
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | sort | tr '\n' ' ')
check "imports" "$(printf '%s\n' KERNEL32.dll "$lua_dll" msvcrt.dll | sort | tr '\n' ' ')" "$imports"

field() { exiftool -s3 -"$1" "$dll"; }
check FileDescription "Encryption library for Lua" "$(field FileDescription)"
check InternalName "vorsel" "$(field InternalName)"
check OriginalFilename "vorsel" "$(field OriginalFileName)"
check ProductName "vorsel" "$(field ProductName)"
check FileVersion "1.8.0.0" "$(field FileVersion)"
check ProductVersion "1.8.0.0" "$(field ProductVersion)"
check "FILEVERSION (fixed)" "1.8.2.0" "$(field FileVersionNumber)"
check "PRODUCTVERSION (fixed)" "1.8.2.0" "$(field ProductVersionNumber)"
exit $fail
