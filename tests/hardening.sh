#!/usr/bin/env bash
# The hardening of the built program, read back from its ELF or PE headers: a change to the
# build that loses one property fails here.
#   hardening.sh PROGRAM BUILD_DIR
set -euo pipefail
build=$2
cd "$(dirname "$0")/.."
source tests/lib.sh "$1"

# expect NAME [!]PATTERN TEXT: TEXT must have a line that matches the extended regular
# expression PATTERN, or with "!", none.
expect() {
    local found status=0
    found=$(grep -E -- "${2#!}" <<<"$3") || status=$?
    if ((status > 1)); then
        mismatch pattern 'one that grep takes' "grep's status $status on /${2#!}/"
    elif [[ $2 == !* ]]; then
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
    # What the compiler recorded of its options, whatever code it happened to emit: of each
    # family of options, the last one, which is the one that holds.
    switches=$(readelf -W -p .GCC.command.line "$program" | grep -oE -- '-f(no-)?(stack-protector|stack-clash-protection|cf-protection)[=a-z-]*|-mbranch-protection=[a-z+-]*' |
        awk '{ family = $0; sub(/^-f(no-)?/, "", family); sub(/(-(strong|all|explicit|protection))?(=.*)?$/, "", family); last[family] = $0 } END { for (f in last) print last[f] }')
    # GCC records no -D there: _FORTIFY_SOURCE, as the build's own compile command defines it
    # last (this program calls no libc function that it checks, so the binary cannot tell).
    fortify=$(grep -F '"command"' "$build/compile_commands.json" | grep -F 'src/main.cpp' |
        grep -oE -- '-[DU] ?_FORTIFY_SOURCE(=[0-9]+)?' | tail -n 1) || fortify=none
    expect 'position-independent'      'Type: +DYN'                         "$headers"
    expect 'full RELRO: segment'       'GNU_RELRO'                          "$headers"
    expect 'full RELRO: bind now'      'FLAGS_1.*NOW'                       "$headers"
    expect 'non-executable stack'      'GNU_STACK( +[^ ]+){5} +RW '         "$headers"
    expect 'no RPATH or RUNPATH'       '!RPATH|RUNPATH'                     "$headers"
    expect '_FORTIFY_SOURCE, 2 or more' '^-D ?_FORTIFY_SOURCE=[2-9]$'      "$fortify"
    expect 'stack protector strong'    '^-fstack-protector-strong$'         "$switches"
    expect 'stack clash protection'    '^-fstack-clash-protection$'         "$switches"
    if [[ $headers == *'Machine:'*AArch64* ]]; then
        expect 'branch protection'     '^-mbranch-protection=standard$'     "$switches"
        # The linked program keeps the BTI and PAC note only where the C runtime's own start-up
        # objects carry it too: Debian 12's do not.
        crti=$(c++ -print-file-name=crti.o)
        crti=$(readelf -W -n "$crti")
        notes=$(readelf -W -n "$program")
        [[ $crti != *'AArch64 feature: BTI, PAC'* ]] ||
            expect 'BTI and PAC note'  'AArch64 feature: BTI, PAC'          "$notes"
    else
        expect 'control-flow protection' '^-fcf-protection(=full)?$'        "$switches"
    fi
fi

verdicts
