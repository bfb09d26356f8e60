#!/bin/sh
# The default library holds the CPU's AES instructions; the portable one
# holds none.
#   check_aes_instructions.sh <objdump> <default library> <portable library>
set -eu
count() { "$1" -d "$2" | grep -c -E '\saes(enc|enclast|dec|declast|imc|keygenassist)\s' || true; }
default=$(count "$1" "$2")
portable=$(count "$1" "$3")
echo "AES instructions: $default in $2, $portable in $3"
[ "$default" -gt 0 ] && [ "$portable" -eq 0 ]
