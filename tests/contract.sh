#!/usr/bin/env bash
# The program's contract with the library, checked against the test double: the calls it
# makes and their order, what it prints, and its exit status, case by case.
#   contract.sh PROGRAM DOUBLE
set -euo pipefail
program=$1 double=$2
cd "$(dirname "$0")/.."
source scripts/lib.sh

create='SDL_CreateWindow("An SDL2 window", 0x1fff0000, 0x1fff0000, 640, 480, 0x00000006)'
held="$create = window
SDL_Delay(3000)
SDL_DestroyWindow(window)
SDL_Quit()"
refused="$create = NULL
SDL_GetError() after 0 bytes of output"
shown=$'SDL_Init(0x00000020) = 0\n'$held
shown_after_failed_init=$'SDL_Init(0x00000020) = -1\n'$held
failed=$'SDL_Init(0x00000020) = 0\n'$refused
failed_after_failed_init=$'SDL_Init(0x00000020) = -1\n'$refused

line=$'Could not create window: no window, by request\n'
odd=$'100% %s%n%p \xff\xfe caf\xc3\xa9 \x1b[31m'
odd_args=('' ' ' --help -h --version - -- $'\xff\xfe' '%s%n%p' "$(printf '%0100000d' 0)")
mapfile -t many_args < <(seq 5000)
# A sanitizer runtime that the program links must load before the double.
preload=$(sanitizer_preload "$program")$double

# check NAME STDOUT STATUS OUTPUT LOG [SETTING...] [-- ARG...]
#   STDOUT is where standard output goes: file, full (/dev/full) or closed; OUTPUT is what the
#   file must hold ('-' for the others). Nothing may ever reach standard error.
check() {
    local name=$1 target=$2 want=$3 output=$4 log=$5 status
    shift 5
    local settings=()
    while (($#)) && [[ $1 != -- ]]; do
        settings+=("SDL_DOUBLE_$1")
        shift
    done
    (($#)) && shift
    rm -f "$scratch/log"
    run_with_stdout "$target" env "${settings[@]}" "SDL_DOUBLE_LOG=$scratch/log" \
        "LD_PRELOAD=$preload" "$program" "$@"
    touch "$scratch/log"

    local out
    read_exactly out "$scratch/out"
    [[ $status == "$want" ]] || mismatch status "$want" "$status"
    [[ $output == - || $out == "$output" ]] ||
        mismatch stdout "$(printf %q "$output")" "$(printf %q "$out")"
    [[ ! -s $scratch/err ]] || mismatch stderr nothing "$(<"$scratch/err")"
    [[ $(<"$scratch/log") == "$log" ]] || mismatch calls "$log" "$(<"$scratch/log")"
    verdict "$name"
}

#     name                                stdout  status output                         calls
check 'window shown'                      file    0      ''                             "$shown"
check 'failed init, window shown'         file    0      ''                             "$shown_after_failed_init" INIT=fail
check 'no window'                         file    1      "$line"                        "$failed" WINDOW=no
check 'failed init, no window'            file    1      "$line"                        "$failed_after_failed_init" INIT=fail WINDOW=no
check 'no window, empty error'            file    1      $'Could not create window: \n' "$failed" WINDOW=no ERROR=
check 'no window, odd bytes in error'     file    1      "Could not create window: $odd"$'\n' "$failed" WINDOW=no "ERROR=$odd"
check 'no window, stdout on /dev/full'    full    1      -                              "$failed" WINDOW=no
# (with standard output closed, the double finds no position in it: -1)
check 'no window, stdout closed'          closed  1      -                              "${failed/after 0/after -1}" WINDOW=no
check 'window shown, odd arguments'       file    0      ''                             "$shown" -- "${odd_args[@]}"
check 'window shown, 5000 arguments'      file    0      ''                             "$shown" -- "${many_args[@]}"
check 'no window, odd arguments'          file    1      "$line"                        "$failed" WINDOW=no -- "${odd_args[@]}"

verdicts
