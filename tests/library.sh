#!/usr/bin/env bash
# The real library, where it cannot make the window: the program must say so in one line
# and exit 1 at once, without the pause.
#   library.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source scripts/lib.sh

# check NAME VARIABLE=VALUE...: runs the program with no display in its environment.
check() {
    local name=$1
    shift
    local status=0 start ms out
    start=$(now_ms)
    env -u DISPLAY -u WAYLAND_DISPLAY "$@" "$program" >"$scratch/out" || status=$?
    ms=$(($(now_ms) - start))
    read_exactly out "$scratch/out"
    ((status == 1)) || mismatch status 1 "$status"
    [[ $out =~ ^'Could not create window: '[^$'\n']+$'\n'$ ]] ||
        mismatch stdout "the failure line with the library's reason" "$(printf %q "$out")"
    ((ms < 1000)) || mismatch time "well under the 3000 ms pause" "$ms ms"
    verdict "$name ($ms ms): ${out%$'\n'}"
}

#     name                        environment
check 'dummy driver, no OpenGL'   SDL_VIDEODRIVER=dummy
check 'x11 driver, no display'    SDL_VIDEODRIVER=x11

verdicts
