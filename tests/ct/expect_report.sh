#!/bin/sh
# A self-check of the secret-independence test: passes only when memcheck
# reports the planted flaw, that is, exits with memcheck's error status (99)
# and reports the flaw's kind inside the planting function. A crash, a
# clean run or any other failure fails.
#   expect_report.sh <valgrind> <program> lookup|branch <core> encrypt|decrypt <tail>
valgrind=$1 program=$2 kind=$3
out=$("$valgrind" --error-exitcode=99 "$program" "$kind" "$4" "$5" "$6" 2>&1)
status=$?
printf '%s\n' "$out"
[ $status -eq 77 ] && exit 77
case $kind in
    lookup) report="Use of uninitialised value of size" ;;
    branch) report="Conditional jump or move depends on uninitialised value" ;;
esac
if [ $status -eq 99 ] && printf '%s\n' "$out" | grep -A2 "$report" | grep -q "plant_$kind"; then
    echo "caught: $kind in $4 $5, tails of $6 blocks"
    exit 0
fi
echo "NOT caught (exit status $status): $kind in $4 $5, tails of $6 blocks"
exit 1
