#!/usr/bin/env bash
# The program on a real Wayland compositor: Weston, nested on a private Xvfb. Nothing is drawn
# into the window, so it is never shown; the client's protocol log shows that it was made.
#   wayland.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source tests/lib.sh
need Xvfb weston

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

# From the protocol log (WAYLAND_DEBUG=client, on standard error): an xdg_toplevel titled
# exactly so, whose surface lives at least 3000 ms by the log's own clock. libwayland stamps
# lines with milliseconds modulo 2^32 ("[4293350.153]") or, later, with the time of day
# ("[22:59:17.297281]"); both wrap, so the lifetime is taken modulo the clock's span.
toplevel_made() {
    local log=$scratch/protocol.log made
    cp "$scratch/err" "$log"
    made=$(awk '
        { stamp = $0; sub(/^\[ */, "", stamp); sub(/\].*/, "", stamp); span = 4294967296
          if (split(stamp, t, ":") == 3) { stamp = ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000
                                          span = 86400000 } }
        match($0, /xdg_surface[@#][0-9]+\.get_toplevel\(new id xdg_toplevel[@#][0-9]+/) {
            split(substr($0, RSTART, RLENGTH), f, /[@#.(]/); toplevel = f[5]
            surface = surface_of[f[2]]
        }
        match($0, /get_xdg_surface\(new id xdg_surface[@#][0-9]+, wl_surface[@#][0-9]+/) {
            split(substr($0, RSTART, RLENGTH), f, /[@#,]/); surface_of[f[2] + 0] = f[4] + 0
        }
        toplevel != "" && $0 ~ "xdg_toplevel[@#]" toplevel "\\.set_title\\(" {
            title = $0; sub(/.*set_title\("/, "", title); sub(/"\).*/, "", title); born = stamp
        }
        surface != "" && $0 ~ "-> wl_surface[@#]" surface "\\.destroy\\(" { died = stamp }
        END { if (born != "" && died != "") printf "%s|%d\n", title, (died - born + span) % span }
    ' "$log")
    [[ ${made%|*} == 'An SDL2 window' ]] ||
        mismatch toplevel "one titled 'An SDL2 window'" "${made:-none} (log: $log)"
    ((${made##*|} >= 3000)) || mismatch 'toplevel lifetime' 'at least 3000 ms' "${made##*|} ms"
}

start_xvfb || die "Xvfb did not start"
start_weston || die "Weston did not start"
#     name                     outcome during after          environment
check 'Weston, wayland driver' shown   -      toplevel_made  -u DISPLAY SDL_VIDEODRIVER=wayland \
    WAYLAND_DEBUG=client

verdicts
