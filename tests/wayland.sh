#!/usr/bin/env bash
# The program on a real Wayland compositor: Weston, nested on a private Xvfb. Nothing is drawn
# into the window, so it is never shown; the client's protocol log shows that it was made.
#   wayland.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source tests/lib.sh
need Xvfb weston Xwayland xdotool xdpyinfo

# start_weston SOCKET OPTION...: Weston with its own socket in a runtime folder of our own.
start_weston() {
    weston --no-config --socket="$1" --idle-time=0 "${@:2}" >"$scratch/$1.log" 2>&1 &
    pids+=($!)
    wait_until 10 "Weston (log: $scratch/$1.log)" test -S "$XDG_RUNTIME_DIR/$1"
}

# From the protocol log (WAYLAND_DEBUG=client, on standard error): an xdg_toplevel titled so,
# whose surface lives at least 3000 ms by the log's clock: microseconds modulo 2^32 written as
# ms ("[4293350.153]"), or from libwayland 1.26 the time of day ("[22:59:17.297281]"). Both
# wrap, the first every 71.6 minutes, so the lifetime is taken modulo the clock's span.
toplevel_made() {
    local log=$scratch/protocol.log made
    cp "$scratch/err" "$log"
    made=$(awk '
        { stamp = $0; sub(/^\[ */, "", stamp); sub(/\].*/, "", stamp); span = 4294967.296
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

# Which driver the library took in a desktop session: the window on Xwayland, or a toplevel.
took_driver() {
    wait_until 10 window took x11 || wait_until 1 toplevel took wayland ||
        mismatch window 'on Xwayland, or a Wayland toplevel' neither
}
took() {
    case $1 in
    x11) [[ $(DISPLAY=$xwayland xdotool search --onlyvisible --name "^An SDL2 window$") ]] ;;
    wayland) grep -q 'xdg_toplevel[@#][0-9]*\.set_title("An SDL2 window")' "$scratch/err" ;;
    esac && driver=$1
}

start_xvfb || die "Xvfb did not start"
export XDG_RUNTIME_DIR=$scratch/runtime WAYLAND_DISPLAY=wayland && mkdir -m 700 "$XDG_RUNTIME_DIR"
sockets=$(ls /tmp/.X11-unix)
start_weston "$WAYLAND_DISPLAY" --backend=x11-backend.so --use-pixman --xwayland || die "no Weston"
start_weston seatless --backend=headless-backend.so || die "no headless Weston"
# Weston's Xwayland listens on the one X socket that is new.
xwayland_up() {
    xwayland=:$(comm -13 <(echo "$sockets") <(ls /tmp/.X11-unix) | sed -n 's/^X//p' | head -n 1)
    [[ $xwayland != : ]]
}
wait_until 10 'Xwayland socket' xwayland_up || die "Weston offers no Xwayland"
# Weston starts Xwayland on the first X client; a desktop session has it running already.
wait_until 20 Xwayland xdpyinfo -display "$xwayland" || die "Xwayland did not start"
# SDL2 2.26 crashes inside SDL_Init on a compositor without an input seat, a library defect
# that later versions mended. There the crash is the outcome; any other fails.
seatless=(shown toplevel_made 'Weston without a seat')
[[ $(realpath "$(ldd "$program" | awk '$1 ~ /^libSDL2-2/ {print $3}')") != *.so.0.26??.* ]] ||
    seatless=(crash - 'Weston without a seat: SDL2 2.26 crashes in SDL_Init, its known defect')
wayland=(-u DISPLAY SDL_VIDEODRIVER=wayland WAYLAND_DEBUG=client)
#     name                    outcome        during      after          environment
check 'Weston, wayland driver' shown          -           toplevel_made  "${wayland[@]}"
check "${seatless[2]}"        "${seatless[0]}" -          "${seatless[1]}" "${wayland[@]}" \
    WAYLAND_DISPLAY=seatless "ASAN_OPTIONS=${ASAN_OPTIONS:-}:handle_segv=0"
check 'desktop session, Xwayland' shown       took_driver -              -u SDL_VIDEODRIVER \
    WAYLAND_DEBUG=client "DISPLAY=$xwayland"
printf '     (the desktop session took the %s driver)\n' "${driver:-no}"

verdicts
