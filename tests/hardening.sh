#!/usr/bin/env bash
# The hardening of the built program, read back from its ELF or PE headers: a change to the
# build that loses one property fails here.
#   hardening.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source tests/lib.sh

# expect NAME [!]PATTERN TEXT: TEXT must have a line that matches the extended regular
# expression PATTERN, or with "!", none.
expect() {
    local found
    found=$(grep -E -- "${2#!}" <<<"$3") || true
    if [[ $2 == !* ]]; then
        [[ -z $found ]] || mismatch headers "no line like /${2:1:60}/" "$found"
    else
        [[ -n $found ]] || mismatch headers "/$2/" "${3:-nothing}"
    fi
    verdict "$1"
}

if [[ $windows ]]; then
    skip_without x86_64-w64-mingw32-objdump
    headers=$(x86_64-w64-mingw32-objdump -p "$program")
    #      property                    pattern                              where
    expect 'console subsystem'         '^Subsystem.*\(Windows CUI\)'        "$headers"
    expect 'ASLR'                      '^[[:space:]]+DYNAMIC_BASE'          "$headers"
    expect 'ASLR, high entropy'        '^[[:space:]]+HIGH_ENTROPY_VA'       "$headers"
    expect 'DEP'                       '^[[:space:]]+NX_COMPAT'             "$headers"
    expect 'only SDL2.dll beside it'   '!DLL Name: lib'                     "$headers"
else
    skip_without readelf
    headers=$(readelf -W -h -l -d "$program")
    switches=$(readelf -W -p .GCC.command.line "$program" | sed -n 's/^ *\[ *[0-9a-f]*\] *//p')
    # Imports that glibc offers a checked __NAME_chk form of must come in that form.
    imports=$(readelf -W --dyn-syms "$program" | awk '$7 == "UND" {print $8}')
    libc=$(ldd "$program" | awk '$1 ~ /^libc\.so/ {print $3}')
    checkable=$(readelf -W --dyn-syms "$libc" | awk '{print $8}' |
        sed -n 's/^__\(.*\)_chk@.*/\1/p' | sort -u | paste -sd'|')
    expect 'position-independent'      'Type: +DYN'                         "$headers"
    expect 'full RELRO: segment'       'GNU_RELRO'                          "$headers"
    expect 'full RELRO: bind now'      'FLAGS_1.*NOW'                       "$headers"
    expect 'non-executable stack'      'GNU_STACK( +[^ ]+){5} +RW '         "$headers"
    expect 'no RPATH or RUNPATH'       '!RPATH|RUNPATH'                     "$headers"
    expect 'fortified libc calls'      "!^($checkable)(@|\$)"               "$imports"
    # What the compiler recorded of its options, whatever code it happened to emit.
    expect 'stack protector strong'    '-fstack-protector-strong'           "$switches"
    expect 'stack clash protection'    '-fstack-clash-protection'           "$switches"
    if [[ $headers == *'Machine:'*AArch64* ]]; then
        expect 'branch protection'     '-mbranch-protection=standard'       "$switches"
        # The linked program keeps the BTI and PAC note only where the C runtime's own start-up
        # objects carry it too: Debian 12's do not.
        [[ $(readelf -W -n "$(c++ -print-file-name=crti.o)") != *'AArch64 feature: BTI, PAC'* ]] ||
            expect 'BTI and PAC note'  'AArch64 feature: BTI, PAC'          "$(readelf -W -n "$program")"
    else
        expect 'control-flow protection' '-fcf-protection(=full)?( |$)'     "$switches"
    fi
fi

verdicts
