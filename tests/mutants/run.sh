#!/usr/bin/env bash
# make mutants: plants each fault alone in a scratch copy of the tree
# (build-mutants/src), builds it, and runs the tests of make test that can
# reach the faulty file (the quick ones first), stopping at the first failing
# one, and then those of them that run under valgrind's memcheck. A fault
# listed as equivalent, which once met them all, meets the quick ones: were
# one to catch it, it would not be equivalent after all. The faults: those written
# by hand in tests/mutants/mutants.txt, and a seeded sample of those made by
# rule (tests/mutants/generate.lua; tests/mutants/equivalent.txt names the
# equivalent ones, with the reason). Reports each fault caught (and by what),
# equivalent or survived, then the totals of each kind. A fault marked [large]
# also meets the full-size tests (ctest -C heavy -L large). A generated fault
# that does not build is caught by the compiler; a test that runs past its
# time (a fault that loops) catches it.
#   tests/mutants/run.sh [--check] [--sample N] [--seed S] [--listed | --generated] [id ...]
# --sample 0 takes every generated fault (default: 150, seed 1).
# --check only tests that every fault's text is found where it is said to be.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD work=$PWD/build-mutants
check=no sample=150 seed=1 lists="listed generated"
while [ $# -gt 0 ]; do
    case $1 in
        --check) check=yes ;;
        --sample) sample=$2; shift ;;
        --seed) seed=$2; shift ;;
        --listed) lists=listed ;;
        --generated) lists=generated ;;
        *) break ;;
    esac
    shift
done
jobs=$(nproc 2>/dev/null || echo 2)

# Each fault as its own folder of files: title, file (with :line for a
# generated one), old, new, kind.
faults=$(mktemp -d)
trap 'rm -rf "$faults"' EXIT
: >"$faults/all.txt"
case " $lists " in *" listed "*) cat tests/mutants/mutants.txt >>"$faults/all.txt" ;; esac
case " $lists " in *" generated "*)
    lua5.1 tests/mutants/generate.lua "$sample" "$seed" >"$faults/generated.txt"
    # The known equivalent ones carry their reason in the title.
    awk 'FILENAME == ARGV[1] { if ($0 !~ /^#/ && NF) { id = $1; $1 = ""; why[id] = substr($0, 2) } next }
         /^## / && ($2 in why) { $0 = $0 " (equivalent: " why[$2] ")" } { print }' \
        tests/mutants/equivalent.txt "$faults/generated.txt" >>"$faults/all.txt" ;;
esac
awk -v out="$faults" '
    /^## / { id = $2; dir = out "/" id; system("mkdir -p " dir); sub(/^## /, ""); print > (dir "/title"); next }
    /^@ / { print substr($0, 3) > (dir "/file"); next }
    /^- / { print substr($0, 3) > (dir "/old"); next }
    /^\+ / { print substr($0, 3) > (dir "/new"); next }' "$faults/all.txt"
ids=("$@")
[ ${#ids[@]} -gt 0 ] || mapfile -t ids < <(awk '/^## / { print $2 }' "$faults/all.txt")

# plant <fault folder> <tree>: replaces the text (at its line, for a
# generated fault); fails unless it is found there, or once in the file.
plant() {
    local file line
    file=$(cat "$1/file") line=
    case $file in *:*) line=${file##*:} file=${file%:*} ;; esac
    OLD=$(cat "$1/old") NEW=$(cat "$1/new") LINE=$line perl -0777 -i -e '
        local $/; my $s = <>;
        if ($ENV{LINE} ne "") {
            my @l = split /\n/, $s, -1;
            if ($l[$ENV{LINE} - 1] ne $ENV{OLD}) { print $s; die "not at line $ENV{LINE}\n" }
            $l[$ENV{LINE} - 1] = $ENV{NEW};
            $s = join("\n", @l);
        } else {
            my $n = () = $s =~ /\Q$ENV{OLD}\E/g;
            if ($n != 1) { print $s; die "found $n times\n" }
            $s =~ s/\Q$ENV{OLD}\E/$ENV{NEW}/;
        }
        print $s' "$2/$file"
}
file_of() { local f; f=$(cat "$1/file"); echo "${f%:*}"; }

# The tests that can reach a file (ctest -R); then, for a fault they all
# pass, the same under valgrind's memcheck (which they leave out).
under_memcheck() {
    case $1 in
        binding/vorsel/bytes.lua) echo '^$' ;;
        binding/strings.cpp|binding/streams.cpp|binding/string_work.hpp) echo '^memcheck\.(portable\.)?strings' ;;
        binding/command.lua) echo '^$' ;;
        binding/*) echo '^memcheck\.|^hostile_host' ;;
        *) echo '^secret_independence$|^memcheck\.requests' ;;
    esac
}
reach() {
    case $1 in
        binding/strings.cpp|binding/string_work.hpp) echo '^(portable\.)?strings\.|^alloc_failure|^threads|readme' ;;
        binding/streams.cpp) echo '^(portable\.)?(strings|hostile|large)\.|^threads|^command$|readme' ;;
        binding/command.lua) echo '^command$|^install' ;;
        binding/vorsel/bytes.lua) echo '^bytes\.|readme' ;;
        binding/*) echo '^(portable\.|host-errorlevel\.)?(module|errors|requests|bytes|oracle|strings|hostile)\.|host|^alloc_failure|^threads|readme|example' ;;
        seal/*) echo '^aes128|^sealed_buffer|^openssl_oracle|^trace_independence$|^portable_core_ops$|^aes_instructions$|^(module|requests|strings)\.lua5\.1' ;;
        *) echo '.' ;;
    esac
}

# tests <build> <regex> quick|slow: those of make test that <regex> names,
# the quick ones or the slow ones, stopping at the first failing one. Most
# faults fail a quick test, so these go first.
slow='hostile|alloc_failure|threads|example|readme|vectors'
tests() {
    local names
    names=$(ctest --test-dir "$1" -N -R "$2" -LE leaks | sed -n 's/^ *Test *#[0-9]*: //p' |
        { if [ "$3" = slow ]; then grep -E "$slow"; else grep -Ev "$slow"; fi || true; } | sed 's/[.+]/\\&/g' | paste -sd '|')
    [ -z "$names" ] || ctest --test-dir "$1" -j "$jobs" -R "^($names)\$" --stop-on-failure
}

if [ $check = yes ]; then
    tmp=$faults/tree
    for id in "${ids[@]}"; do
        file=$(file_of "$faults/$id")
        mkdir -p "$tmp/$(dirname "$file")" && cp "$file" "$tmp/$file"
        plant "$faults/$id" "$tmp" || echo "$id: its text in $file is not found where it is said to be"
        cp "$file" "$tmp/$file"
    done
    exit 0
fi

src=$work/src build=$work/build
rm -rf "$src" "$build"
mkdir -p "$src"
tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$src"
# (Lua 5.5's sources beside the project, not beside the scratch copy.)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORSEL_TESTS=ON -DVORSEL_BENCH=OFF \
    -DVORSEL_LUA55_SOURCE="${VORSEL_LUA55_SOURCE:-$root/../shared/lua-5.5.0}" -DVORSEL_TEST_TIMEOUT=240 >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null
ctest --test-dir "$build" -j "$jobs" >"$work/baseline.log" 2>&1 ||
    { echo "the suite fails with no fault planted: $work/baseline.log"; exit 1; }

planted=0 equivalent=0 caught=0 survived=0 unbuilt=0 by_compiler=0
for id in "${ids[@]}"; do
    f=$faults/$id file=$(file_of "$faults/$id") title=$(cat "$f/title")
    planted=$((planted + 1))
    cp "$src/$file" "$work/original"
    plant "$f" "$src" >/dev/null
    if ! cmake --build "$build" -j "$jobs" >"$work/$id.log" 2>&1; then
        if [[ $id == G* ]]; then
            caught=$((caught + 1)) by_compiler=$((by_compiler + 1))
            echo "caught          $title  [by the compiler]"
        else
            unbuilt=$((unbuilt + 1))
            echo "does not build  $title"
        fi
    elif tests "$build" "$(reach "$file")" quick >>"$work/$id.log" 2>&1 &&
        { [[ $title == *"(equivalent:"* ]] || {
            tests "$build" "$(reach "$file")" slow >>"$work/$id.log" 2>&1 &&
            ctest --test-dir "$build" -j "$jobs" -R "$(under_memcheck "$file")" --stop-on-failure \
                --timeout 300 --no-tests=ignore >>"$work/$id.log" 2>&1; }; } &&
        { [[ $title != *"[large]"* ]] ||
          ctest --test-dir "$build" -C heavy -L large --stop-on-failure >>"$work/$id.log" 2>&1; }; then
        case $title in
            *"(equivalent:"*) equivalent=$((equivalent + 1)); echo "equivalent      $title" ;;
            *) survived=$((survived + 1)); echo "SURVIVED        $title" ;;
        esac
    else
        caught=$((caught + 1))
        by=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' "$work/$id.log" | head -n 1)
        echo "caught          $title  [by $by]"
    fi
    cp "$work/original" "$src/$file"
done
cmake --build "$build" -j "$jobs" >/dev/null
echo "planted $planted: equivalent $equivalent, caught $caught ($by_compiler by the compiler)," \
    "survived $survived, not built $unbuilt"
[ $survived -eq 0 ] && [ $unbuilt -eq 0 ]
