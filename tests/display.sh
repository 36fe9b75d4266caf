#!/usr/bin/env bash
# The program on a real X server: a private Xvfb, first bare, then loaded with 32 instances,
# then with a window manager that passes on a close request, key presses and pointer motion
# during the pause, and last with the server dying under it.
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

kill_server() {
    kill "$xvfb_pid"
}

# check NAME DURING STATUS: runs the program, calls DURING once its window is up, checks the run.
check() {
    local name=$1 during=$2 want=$3 status=0 start ms out
    start=$(now_ms)
    timeout -k 5 30 "$program" >"$scratch/out" 2>"$scratch/err" &
    local pid=$!
    if wait_until 10 'window' window_up; then
        "$during"
    else
        mismatch window "a viewable window titled '$title'" "none within 10 s; the server has:
$(timeout 5 xwininfo -root -tree 2>&1 | grep -E '^ +0x' || echo 'no answer')"
    fi
    wait "$pid" || status=$?
    ms=$(($(now_ms) - start))
    read_exactly out "$scratch/out"
    ((status == want)) || mismatch status "$want" "$status (stderr: $(<"$scratch/err"))"
    [[ -z $out ]] || mismatch stdout nothing "$(printf %q "$out")"
    ((ms >= 3000)) || mismatch 'run time' 'at least 3000 ms' "$ms ms"
    ((ms < 5000)) || mismatch 'run time' 'soon after the 3000 ms pause' "$ms ms"
    [[ -z $(titled_windows) ]] || mismatch 'windows after the exit' none "$(titled_windows)"
    verdict "$name ($ms ms)"
}

# load COUNT: that many instances at once; all their windows are up together, all exit 0.
load() {
    local count=$1 i pid status failed=() start ms
    local -a instances=()
    start=$(now_ms)
    for ((i = 0; i < count; i++)); do
        timeout -k 5 30 "$program" >/dev/null 2>&1 &
        instances+=($!)
    done
    wait_until 20 "$count windows" all_up "$count" ||
        mismatch 'windows up at once' "$count" "$(window_up | wc -l)"
    for pid in "${instances[@]}"; do
        status=0
        wait "$pid" || status=$?
        ((status == 0)) || failed+=("$status")
    done
    ms=$(($(now_ms) - start))
    ((${#failed[@]} == 0)) || mismatch 'exit statuses' "all 0" "${failed[*]}"
    verdict "$count instances at once ($ms ms)"
}
all_up() {
    (($(window_up | wc -l) == $1))
}

start_xvfb || die "Xvfb did not start"
#     name                                          while the window is up   status
check 'bare X server'                               look_at_window           0
load 32
start_wm || die "openbox did not start"
check 'window manager, close request, keys, mouse' disturb_window           0
# Xlib learns of the lost connection when the window is destroyed, and ends the program with 1.
check 'X server dies during the pause'              kill_server              1

verdicts
