#!/usr/bin/env bash
# The program's hardening, read back from the built binary's ELF headers: each property must be
# there, so that a change to the build that loses one fails here.
#   hardening.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source tests/lib.sh
need readelf

elf() { readelf -W "$@" "$program" 2>/dev/null; }
# The parts of the headers that tell, and the compile options as the compiler recorded them.
type=$(elf -h | grep 'Type:')
segments=$(elf -l | grep -E 'GNU_RELRO|GNU_STACK')
dynamic=$(elf -d | grep -E 'FLAGS|RPATH|RUNPATH')
switches=$(elf -p .GCC.command.line | sed -n 's/^ *\[ *[0-9a-f]*\] *//p')
imports=$(elf --dyn-syms | awk '$7 == "UND" {print $8}')
# Imports that glibc offers a checked __NAME_chk form of must come in that form.
libc=$(ldd "$program" | awk '$1 ~ /^libc\.so/ {print $3}')
checkable=$(readelf -W --dyn-syms "$libc" | awk '{print $8}' | sed -n 's/^__\(.*\)_chk@.*/\1/p' |
    sort -u | paste -sd'|')

# expect NAME PATTERN TEXT: TEXT must match the extended regular expression PATTERN.
expect() {
    grep -Eq -- "$2" <<<"$3" || mismatch ELF "/$2/" "${3:-nothing}"
    verdict "$1"
}
# refuse NAME PATTERN TEXT: no line of TEXT may match PATTERN.
refuse() {
    local found
    found=$(grep -E -- "$2" <<<"$3") && mismatch ELF "no line like /${2:0:60}/" "$found"
    verdict "$1"
}

#      property                   pattern                                 where
expect 'position-independent'     'Type: +DYN'                            "$type"
expect 'PIE flag'                 'FLAGS_1.*PIE'                          "$dynamic"
expect 'full RELRO: segment'      'GNU_RELRO'                             "$segments"
expect 'full RELRO: bind now'     'FLAGS_1.*NOW'                          "$dynamic"
expect 'non-executable stack'     'GNU_STACK( +[^ ]+){5} +RW '            "$segments"
refuse 'no RPATH or RUNPATH'      'RPATH|RUNPATH'                         "$dynamic"
expect 'stack protector strong'   '-fstack-protector-strong'              "$switches"
expect 'stack clash protection'   '-fstack-clash-protection'              "$switches"
expect 'control-flow protection'  '-fcf-protection(=full)?( |$)'          "$switches"
refuse 'fortified libc calls'     "^($checkable)(@|\$)"                   "$imports"

verdicts
