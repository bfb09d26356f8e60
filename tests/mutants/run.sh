#!/usr/bin/env bash
# make mutants: plants each fault of tests/mutants/mutants.txt alone in a
# scratch copy of the tree (build-mutants/src), builds it, and runs the
# suite that make test runs, stopping at the first failing test. Reports
# each fault caught (and by what) or survived, then the totals. A fault
# marked [large] also meets the full-size tests (ctest -C heavy -L large).
#   tests/mutants/run.sh [--check] [id ...]
# --check only tests that every fault's text is found exactly once.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD work=$PWD/build-mutants
list=tests/mutants/mutants.txt
check=no
[ "${1:-}" = --check ] && { check=yes; shift; }
jobs=$(nproc 2>/dev/null || echo 2)

# Each fault as its own folder of files: title, file, old, new.
faults=$(mktemp -d)
trap 'rm -rf "$faults"' EXIT
awk -v out="$faults" '
    /^## / { id = $2; dir = out "/" id; system("mkdir -p " dir); sub(/^## /, ""); print > (dir "/title"); next }
    /^@ / { print substr($0, 3) > (dir "/file"); next }
    /^- / { print substr($0, 3) > (dir "/old"); next }
    /^\+ / { print substr($0, 3) > (dir "/new"); next }' "$list"
ids=("$@")
[ ${#ids[@]} -gt 0 ] || mapfile -t ids < <(awk '/^## / { print $2 }' "$list")

# plant <fault folder> <tree>: replaces the text; fails unless it occurs once.
plant() {
    OLD=$(cat "$1/old") NEW=$(cat "$1/new") perl -0777 -i -e '
        local $/; my $s = <>; my $n = () = $s =~ /\Q$ENV{OLD}\E/g;
        if ($n != 1) { print $s; die "found $n times\n" }
        $s =~ s/\Q$ENV{OLD}\E/$ENV{NEW}/; print $s' "$2/$(cat "$1/file")"
}

if [ $check = yes ]; then
    tmp=$faults/tree
    for id in "${ids[@]}"; do
        file=$(cat "$faults/$id/file")
        mkdir -p "$tmp/$(dirname "$file")" && cp "$file" "$tmp/$file"
        plant "$faults/$id" "$tmp" || echo "$id: its text in $file is not found exactly once"
        cp "$file" "$tmp/$file"
    done
    exit 0
fi

src=$work/src build=$work/build
rm -rf "$src" "$build"
mkdir -p "$src"
tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$src"
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORSEL_TESTS=ON -DVORSEL_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null
ctest --test-dir "$build" -j "$jobs" >"$work/baseline.log" 2>&1 ||
    { echo "the suite fails with no fault planted: $work/baseline.log"; exit 1; }

planted=0 equivalent=0 caught=0 survived=0 unbuilt=0
for id in "${ids[@]}"; do
    f=$faults/$id file=$(cat "$faults/$id/file") title=$(cat "$f/title")
    planted=$((planted + 1))
    cp "$src/$file" "$work/original"
    plant "$f" "$src" >/dev/null
    if ! cmake --build "$build" -j "$jobs" >"$work/$id.log" 2>&1; then
        unbuilt=$((unbuilt + 1))
        echo "does not build  $title"
    elif ctest --test-dir "$build" -j "$jobs" --stop-on-failure >>"$work/$id.log" 2>&1 &&
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
echo "planted $planted: equivalent $equivalent, caught $caught, survived $survived, not built $unbuilt"
[ $survived -eq 0 ] && [ $unbuilt -eq 0 ]
