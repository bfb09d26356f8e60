#!/usr/bin/env bash
# The vorsel command as a user installs it (luarocks --local make, a home of
# its own), sealing and opening a 256 MiB file, against openssl enc
# -aes-128-ecb -nopad on the same file: CPU seconds (user + system) and peak
# RSS, the median of three runs each; and the sealed file against what
# strings.encrypt makes of it.
#   bench/command.sh [build folder]
set -euo pipefail
out=$(realpath -m "${1:-build}/bench/command")
rm -rf "$out" build.luarocks
mkdir -p "$out/home"
HOME=$out/home luarocks --lua-version=5.1 --local make vorsel-1.8.0-1.rockspec >"$out/rock.log" 2>&1 \
    || { cat "$out/rock.log"; exit 1; }
vorsel=$out/home/.luarocks/bin/vorsel
export VORSEL_KEY=000102030405060708090a0b0c0d0e0f
head -c 268435456 /dev/urandom >"$out/file"
measure() { # label command...: "label: <cpu> s CPU, <peak> MB peak" over three runs, the median
    local label=$1
    shift
    for _ in 1 2 3; do
        /usr/bin/time -f "%U %S %M" "$@" 2>&1 >/dev/null | tail -1
    done | awk -v l="$label" '{ print $1 + $2, $3 / 1024 }' | sort -n | sed -n 2p |
        awk -v l="$label" '{ printf "%s: %.2f s CPU, %.1f MB peak\n", l, $1, $2 }'
}
measure "vorsel seal" "$vorsel" seal "$out/file" "$out/file.sealed"
measure "openssl enc -e" openssl enc -aes-128-ecb -nopad -K "$VORSEL_KEY" -in "$out/file" -out "$out/file.ossl"
measure "vorsel open" "$vorsel" open "$out/file.sealed" "$out/file.back"
measure "openssl enc -d" openssl enc -d -aes-128-ecb -nopad -K "$VORSEL_KEY" -in "$out/file.sealed" -out "$out/file.ossl"
cmp -s "$out/file" "$out/file.back" && echo "vorsel open gave the file back"
LUA_CPATH="$out/home/.luarocks/lib/lua/5.1/?.so" lua5.1 -e "
    local function read(n) local f = io.open(n, 'rb') local t = f:read('*a') f:close() return t end
    local key = os.getenv('VORSEL_KEY'):gsub('%x%x', function(h) return string.char(tonumber(h, 16)) end)
    assert(read('$out/file.sealed') == require('vorsel.strings').encrypt(read('$out/file'), key))
    print('the sealed file is what strings.encrypt makes of the file')"
rm -rf "$out"
