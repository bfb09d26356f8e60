#!/bin/sh
# A self-check of the secret-independence test: passes only when memcheck
# reports the planted flaw, that is, exits with memcheck's error status (99)
# and reports the flaw's kind inside the planting function. A crash, a
# clean run or any other failure fails.
#   expect_report.sh <valgrind> <program> <core> lookup|branch encrypt|decrypt <tail>
valgrind=$1 program=$2 core=$3 kind=$4
out=$("$valgrind" --error-exitcode=99 "$program" "$kind" "$core" "$5" "$6" 2>&1)
status=$?
printf '%s\n' "$out"
[ $status -eq 77 ] && exit 77
case $kind in
    lookup) report="Use of uninitialised value of size" ;;
    branch) report="Conditional jump or move depends on uninitialised value" ;;
esac
if [ $status -eq 99 ] && printf '%s\n' "$out" | grep -A2 "$report" | grep -q "plant_$kind"; then
    echo "caught: $kind in $core $5, tails of $6 blocks"
    exit 0
fi
echo "NOT caught (exit status $status): $kind in $core $5, tails of $6 blocks"
exit 1
