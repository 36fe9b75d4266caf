#!/usr/bin/env bash
# The real library, where it cannot make the window: the program must say so in one line
# and exit 1 at once, without the pause, whatever its arguments and wherever its output goes.
#   library.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source scripts/lib.sh

odd_args=('' $'\xff\xfe' "$(printf '%0100000d' 0)")
mapfile -t many_args < <(seq 5000)
# A display number that no server has.
absent=:$(for n in $(seq 99 199); do [[ -e /tmp/.X11-unix/X$n ]] || { echo "$n"; break; }; done)

# check NAME STDOUT [VARIABLE=VALUE...] [-- ARG...]: runs the program with no display in its
# environment but what the case gives. STDOUT is file, full (/dev/full) or closed; only a
# file can be read back.
check() {
    local name=$1 target=$2 env=() start ms out status
    shift 2
    while (($#)) && [[ $1 != -- ]]; do
        env+=("$1")
        shift
    done
    (($#)) && shift
    start=$(now_ms)
    run_with_stdout "$target" env -u DISPLAY -u WAYLAND_DISPLAY "${env[@]}" "$program" "$@"
    ms=$(($(now_ms) - start))
    read_exactly out "$scratch/out"
    ((status == 1)) || mismatch status 1 "$status"
    [[ $target != file || $out =~ ^'Could not create window: '[^$'\n']+$'\n'$ ]] ||
        mismatch stdout "the failure line with the library's reason" "$(printf %q "$out")"
    ((ms < 1000)) || mismatch time "well under the 3000 ms pause" "$ms ms"
    verdict "$name ($ms ms)${out:+: ${out%$'\n'}}"
}

#     name                             stdout  environment, arguments
check 'dummy driver, no OpenGL'        file    SDL_VIDEODRIVER=dummy
check 'x11 driver, no display'         file    SDL_VIDEODRIVER=x11
check "x11 driver, no server at $absent" file  SDL_VIDEODRIVER=x11 "DISPLAY=$absent"
check 'dummy driver, stdout /dev/full' full    SDL_VIDEODRIVER=dummy
check 'dummy driver, stdout closed'    closed  SDL_VIDEODRIVER=dummy
check 'dummy driver, odd arguments'    file    SDL_VIDEODRIVER=dummy -- "${odd_args[@]}"
check 'dummy driver, 5000 arguments'   file    SDL_VIDEODRIVER=dummy -- "${many_args[@]}"

verdicts
