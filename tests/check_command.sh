#!/usr/bin/env bash
# The vorsel command under every interpreter: what it seals is what
# strings.encrypt makes, it opens it back, its exit statuses, and OUT left as
# it was (no temporary file beside it) after a wrong key, data cut short,
# SIGINT, SIGKILL and a full disk (a small tmpfs, where one can be mounted).
#   tests/check_command.sh <interpreter>=<its module folder>...
set -uo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'umount "$work/small" 2>/dev/null; rm -rf "$work"' EXIT
command=$PWD/binding/command.lua
export VORSEL_KEY=000102030405060708090a0b0c0d0e0f
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() { # status what command...
    local want=$1 what=$2
    shift 2
    "$@" 2>"$work/err"
    local got=$?
    [ "$got" = "$want" ] || fail "$what: exit $got, not $want ($(cat "$work/err"))"
}
head -c 300001 /dev/urandom >"$work/plain"
lua5.1 tests/docs/readme.lua block command >"$work/readme.sh"
cd "$work"
for pair in "$@"; do
    lua=${pair%%=*}
    export LUA_CPATH="${pair#*=}/?.so"
    v() { "$lua" "$command" "$@"; }
    rm -f sealed back out
    expect 0 "$lua seal" v seal plain sealed
    "$lua" -e "local s = require 'vorsel.strings'
        local function read(n) local f = io.open(n, 'rb') local t = f:read('*a') f:close() return t end
        local key = os.getenv('VORSEL_KEY'):gsub('%x%x', function(h) return string.char(tonumber(h, 16)) end)
        os.exit(read('sealed') == s.encrypt(read('plain'), key) and 0 or 1)" || fail "$lua: not strings.encrypt's"
    expect 0 "$lua open" v open sealed back
    cmp -s plain back || fail "$lua: opened differently"
    v seal <plain | v open | cmp -s - plain || fail "$lua: through pipes"
    expect 0 "$lua check" v check sealed
    echo kept >out
    expect 1 "$lua wrong key" env VORSEL_KEY=000102030405060708090a0b0c0d0e0e "$lua" "$command" open sealed out
    head -c 4001 sealed >cut
    expect 1 "$lua cut short" v open cut out
    expect 1 "$lua not sealed" v open plain out
    expect 1 "$lua check, wrong key" env VORSEL_KEY=ffffffffffffffffffffffffffffffff "$lua" "$command" check sealed
    expect 2 "$lua key on the command line" v seal --key "$VORSEL_KEY" plain out
    expect 2 "$lua no key" env -u VORSEL_KEY "$lua" "$command" seal plain out
    expect 2 "$lua OUT is IN" v seal plain plain
    expect 2 "$lua unknown command" v shred plain
    printf '%s\n' "$VORSEL_KEY" >key.hex
    expect 0 "$lua --key-file" env -u VORSEL_KEY "$lua" "$command" open --key-file key.hex sealed back
    [ "$(cat out)" = kept ] || fail "$lua: OUT changed by a failure"
    ls | grep -q vorsel- && fail "$lua: a temporary file was left: $(ls)"
done

# Killed in the middle of a stream (blocked on a FIFO, half the input sent):
# OUT as it was, or still absent.
lua=${1%%=*}
export LUA_CPATH="${1#*=}/?.so"
for signal in INT KILL; do
    for out in out absent; do
        rm -f fifo absent && mkfifo fifo && echo kept >out
        "$lua" "$command" open fifo "$out" 2>/dev/null &
        pid=$!
        exec 3<>fifo # (read and write: opening it never waits for the reader)
        timeout 10 head -c 200000 sealed >&3
        sleep 0.5
        kill -s $signal $pid
        sleep 0.2
        timeout 10 head -c 1000 sealed >&3 2>/dev/null # the interpreter stops at its next Lua step
        exec 3>&-
        wait $pid && fail "SIG$signal: exit 0"
        [ "$out" = out ] && { [ "$(cat out)" = kept ] || fail "SIG$signal: OUT changed"; }
        [ "$out" = absent ] && [ -e absent ] && fail "SIG$signal: OUT made"
        [ $signal = INT ] && ls | grep -q vorsel- && fail "SIGINT: a temporary file was left"
        rm -f ./*.vorsel-*
    done
done

# The README's lines, with `vorsel` on PATH.
mkdir bin readme
printf '#!/bin/sh\nexec %s %s "$@"\n' "$lua" "$command" >bin/vorsel
chmod +x bin/vorsel
(cd readme && PATH=$work/bin:$PATH bash -e ../readme.sh >said 2>&1 && grep -qx "the payload" said) \
    || fail "the README's lines: $(cat readme/said)"

# A disk that fills up: a tmpfs of 64 KiB.
mkdir small
if mount -t tmpfs -o size=64k tmpfs small 2>/dev/null; then
    echo kept >small/out
    expect 3 "a full disk" "$lua" "$command" seal plain small/out
    [ "$(cat small/out)" = kept ] || fail "a full disk: OUT changed"
    [ "$(ls small)" = out ] || fail "a full disk: left $(ls small)"
else
    echo "SKIP: a full disk: no tmpfs can be mounted here (not root)"
fi
[ $failures = 0 ] && echo "the command: every case as expected under ${*%%=*}"
exit $((failures > 0))
