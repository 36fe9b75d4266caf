#!/usr/bin/env bash
# The program on a real Wayland compositor: Weston, nested on a private Xvfb (Weston's
# headless back end has no input seat, which SDL2 2.26 does not survive). The window is never
# drawn, so it is never shown; the client's protocol log shows that it was made, with its title.
#   wayland.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source scripts/lib.sh
need Xvfb weston

# Under LeakSanitizer: SDL_Quit unloads the EGL driver, and whatever the driver's globals still
# held would then count as leaked. Loaded ahead (after the sanitizer's runtime), it stays.
preload=$(sanitizer_preload "$program")
preload=${preload:+${preload}libEGL.so.1}

# start_weston: Weston on the private Xvfb, with its own runtime folder and socket.
start_weston() {
    export XDG_RUNTIME_DIR=$scratch/runtime WAYLAND_DISPLAY=wayland-test
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    weston --no-config --backend=x11-backend.so --use-pixman --socket="$WAYLAND_DISPLAY" \
        --idle-time=0 --width=1024 --height=768 >"$scratch/weston.log" 2>&1 &
    weston_pid=$!
    pids+=("$weston_pid")
    wait_until 10 "Weston (log: $scratch/weston.log)" test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
}

# The toplevel's lifetime in the protocol log, from its title to its surface's end: prints
# "TITLE MS", or nothing when no toplevel was made.
toplevel() {
    awk '
        { stamp = $0; sub(/^\[ */, "", stamp); sub(/\].*/, "", stamp) }
        match($0, /get_xdg_surface\(new id xdg_surface@[0-9]+, wl_surface@[0-9]+/) {
            split(substr($0, RSTART, RLENGTH), f, /@|, /); surface_of["xdg_surface@" f[2]] = f[4]
        }
        match($0, /xdg_surface@[0-9]+\.get_toplevel\(new id xdg_toplevel@[0-9]+/) {
            split(substr($0, RSTART, RLENGTH), f, /[.(@]/)
            surface = surface_of["xdg_surface@" f[2]]; toplevel = "xdg_toplevel@" f[5]
        }
        toplevel != "" && index($0, "-> " toplevel ".set_title(") {
            title = $0; sub(/.*set_title\("/, "", title); sub(/"\)$/, "", title); born = stamp
        }
        surface != "" && index($0, "-> wl_surface@" surface ".destroy()") { died = stamp }
        END { if (born != "") printf "%s %d\n", title, (died != "" ? died - born : -1) }
    ' "$1"
}

# Checks once the run is under way, one function a case.
nothing() { :; }
kill_compositor() {
    sleep 1
    kill "$weston_pid"
}

# check NAME DURING STATUS: runs the program on the compositor, calls DURING, checks the run.
check() {
    local name=$1 during=$2 want=$3 status=0 start ms out made log=$scratch/protocol-$2.log
    start=$(now_ms)
    env -u DISPLAY ${preload:+"LD_PRELOAD=$preload"} SDL_VIDEODRIVER=wayland WAYLAND_DEBUG=client \
        timeout -k 5 30 "$program" >"$scratch/out" 2>"$log" &
    local pid=$!
    "$during"
    wait "$pid" || status=$?
    ms=$(($(now_ms) - start))
    read_exactly out "$scratch/out"
    [[ -z $out ]] || mismatch stdout nothing "$(printf %q "$out")"
    case $want in
    0)
        ((status == 0)) || mismatch status 0 "$status"
        ((ms >= 3000)) || mismatch 'run time' 'at least 3000 ms' "$ms ms"
        made=$(toplevel "$log")
        made=${made:-none -1}
        [[ ${made% *} == 'An SDL2 window' ]] ||
            mismatch toplevel "one titled 'An SDL2 window'" "${made% *} (log: $log)"
        ((${made##* } >= 3000)) || mismatch 'toplevel lifetime' 'at least 3000 ms' "${made##* } ms"
        ;;
    any)
        # No hang and no signal; the status is whatever the library makes of it.
        ((status < 124)) || mismatch status 'an exit, not a timeout or a signal' "$status"
        ((ms < 5000)) || mismatch 'run time' 'soon after the 3000 ms pause' "$ms ms"
        ;;
    esac
    verdict "$name ($ms ms, exit $status)"
}

start_xvfb || die "Xvfb did not start"
start_weston || die "Weston did not start"
#     name                                  during the run   status
check 'Weston, wayland driver'              nothing          0
check 'compositor dies during the pause'    kill_compositor  any

verdicts
