#!/bin/sh
# No multiply, divide or remainder instruction, nor a call to the C runtime's
# (on CPUs that lack the instruction), in the portable core, whose
# every operand may be key or data: seal/aes128_portable.cpp compiled by gcc
# and by clang at -O2 and -O3 for each CPU named, and disassembled. (None is
# needed: were a multiply on a public count ever needed, this is where it
# would be listed, by function, with its reason.)
#   check_portable_ops.sh <x86-64|i386|arm64|s390x|armhf|mipsel|mips|riscv64>...
set -eu
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for cpu in "$@"; do
    case $cpu in
        x86-64) triple=x86_64-linux-gnu gcc=g++ objdump=objdump
                ops='i?mul[a-z]*|i?div[a-z]*|v?pmul[a-z0-9]*' ;;
        i386) triple=i686-linux-gnu gcc=$triple-g++ objdump=objdump
              ops='i?mul[a-z]*|i?div[a-z]*|v?pmul[a-z0-9]*' ;;
        arm64) triple=aarch64-linux-gnu gcc=$triple-g++ objdump=$triple-objdump
               ops='mul|madd|msub|mneg|[su]mull2?|[su]mulh|[su]maddl|[su]msubl|[su]mnegl|[su]div|pmull2?|mla|mls|sqr?dmulh' ;;
        s390x) triple=s390x-linux-gnu gcc=$triple-g++ objdump=$triple-objdump
               ops='m|mr|mh|mhi|mhy|mfy|ml|mlr|mlg|mlgr|ms|msr|msy|msc|msfi|msg|msgr|msgc|msgf|msgfr|msgfi|msrkc|msgrkc|mg|mgrk|mgh|d|dr|dl|dlr|dlg|dlgr|dsg|dsgr|dsgf|dsgfr' ;;
        armhf) triple=arm-linux-gnueabihf gcc=$triple-g++ objdump=$triple-objdump
               ops='(v?mul|v?mla|v?mls|[su]mull|[su]mlal|umaal|[su]div|smul|smla|smls|smml|smua|smus)[a-z0-9.]*' ;;
        mipsel|mips) triple=$cpu-linux-gnu gcc=$triple-g++ objdump=$triple-objdump
                     ops='mult|multu|mul|muh|muhu|mulu|div|divu|mod|modu|madd|maddu|msub|msubu' ;;
        riscv64) triple=riscv64-linux-gnu gcc=$triple-g++ objdump=$triple-objdump
                 ops='mul[a-z]*|div[a-z]*|rem[a-z]*' ;;
        *) echo "check_portable_ops.sh: unknown CPU $cpu" >&2; exit 2 ;;
    esac
    for compiler in "$gcc" "clang++ --target=$triple"; do
        for level in -O2 -O3; do
            obj=$work/portable.o
            $compiler -std=c++17 $level -I. -c seal/aes128_portable.cpp -o "$obj"
            found=$("$objdump" -d --no-show-raw-insn "$obj" | awk -v ops="^($ops)\$" '
                /^[0-9a-f]+ <.*>:$/ { fn = $2 }
                NF >= 2 && $2 ~ ops { print "  " fn " " $2 " " $3 }')
            # and no call to the C runtime's multiply or divide (CPUs without the instruction)
            found=$found$("${objdump%objdump}nm" -u "$obj" | awk '$2 ~ /^__(aeabi_(u?idiv|u?ldiv|lmul|u?idivmod|u?ldivmod)|u?(div|mod|mul)[dst]i3)$/ { print "  calls " $2 }')
            if [ -n "$found" ]; then
                echo "$cpu, ${compiler%% *} $level: multiply or divide instructions:"
                echo "$found"
                status=1
            else
                echo "$cpu, ${compiler%% *} $level: no multiply or divide"
            fi
        done
    done
done
exit $status
