#!/usr/bin/env bash
# The program on a real X server: a private Xvfb, first bare, then with a window manager that
# passes on a close request, key presses and pointer motion during the pause.
#   display.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source scripts/lib.sh
need Xvfb xwininfo xdotool wmctrl openbox

title='An SDL2 window'

# The windows with our title, one "id geometry" line each.
titled_windows() {
    local id
    for id in $(xdotool search --name "^$title\$" 2>/dev/null); do
        printf '%s %s\n' "$id" "$(xwininfo -id "$id" 2>/dev/null | awk '/-geometry/ {print $2}')"
    done
}
window_up() {
    xdotool search --onlyvisible --name "^$title\$"
}

# Checks made once a titled window is viewable, one function a case; each may add problems.
look_at_window() {
    local windows
    windows=$(titled_windows)
    [[ $(wc -l <<<"$windows") == 1 ]] || mismatch "windows titled '$title'" 1 "$windows"
    [[ ${windows#* } == 640x480+* ]] || mismatch size 640x480 "${windows#* }"
}
disturb_window() {
    local id
    id=$(window_up)
    wmctrl -i -c "$id" || mismatch 'close request' sent 'wmctrl failed'
    xdotool windowactivate --sync "$id" key Escape q Return space ctrl+c ||
        mismatch 'key presses' sent 'xdotool failed'
    xdotool mousemove --window "$id" 10 10 mousemove --window "$id" 600 400 click 1 ||
        mismatch 'pointer motion' sent 'xdotool failed'
}

# check NAME DURING: runs the program, calls DURING once its window is up, checks the run.
check() {
    local name=$1 during=$2 status=0 start ms out
    start=$(now_ms)
    timeout 30 "$program" >"$scratch/out" 2>"$scratch/err" &
    local pid=$!
    if wait_until 5 'window' window_up; then
        "$during"
    else
        mismatch window "a viewable window titled '$title'" 'none within 5 s'
    fi
    wait "$pid" || status=$?
    ms=$(($(now_ms) - start))
    read_exactly out "$scratch/out"
    ((status == 0)) || mismatch status 0 "$status (stderr: $(<"$scratch/err"))"
    [[ -z $out ]] || mismatch stdout nothing "$(printf %q "$out")"
    ((ms >= 3000)) || mismatch 'run time' 'at least 3000 ms' "$ms ms"
    [[ -z $(titled_windows) ]] || mismatch 'windows after the exit' none "$(titled_windows)"
    verdict "$name ($ms ms)"
}

start_xvfb || die "Xvfb did not start"
#     name                                          while the window is up
check 'bare X server'                               look_at_window
start_wm || die "openbox did not start"
check 'window manager, close request, keys, mouse' disturb_window

verdicts
