#!/usr/bin/env bash
# The program in the desktop sessions that people use, each compositor in a runtime folder of
# its own: headless, but Weston, which is nested on a private Xvfb. In each, the session as it
# is (Wayland with Xwayland, no SDL_VIDEODRIVER) and the Wayland driver, which SDL 3 takes by
# itself. Whether the window was shown must agree with the README's table for this SDL2 build.
#   desktops.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source tests/lib.sh
need Xvfb Xwayland xdotool xdpyinfo dbus-run-session weston

title='An SDL2 window'
# As root, the desktops, the program and the tools that look at its window run as nobody:
# sway will not run as root, and Xwayland lets in its own user alone.
as=()
((EUID)) || as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
chmod 711 "$scratch"

# The README's name for this SDL2 build: "SDL2 2.26", or "SDL2 on SDL 3.4" for the layer.
sdl2=$(realpath "$(ldd "$program" | awk '$1 ~ /^libSDL2-2/ {print $3}')")
if grep -q libSDL3 "$sdl2"; then
    sdl3=$(realpath "$(compgen -G "${sdl2%/*}/libSDL3.so.0" || compgen -G "${sdl2%/*}/../libSDL3.so.0")")
    sdl3=${sdl3##*.so.0.} && build="SDL2 on SDL 3.${sdl3%%.*}"
else
    sdl2=${sdl2##*.so.0.} && build="SDL2 2.$((${sdl2%%.*} / 100))"
fi
# readme_says DESKTOP DRIVER: the cell of the README's desktops table for the desktop (named
# there as "sway", or as "GNOME (mutter)"), SDL_VIDEODRIVER unset or wayland, and this build.
readme_says() {
    awk -F' *[|] *' -v name="$1" -v driver="$2" -v column="$build" '
        $2 == "Desktop" { for (i = 4; i < NF; i++) if ($i == column) c = i }
        c && tolower($2) ~ "(^|[(])" name "([) ]|$)" && $3 ~ driver { print $c; exit }' README.md
}

# Each start_NAME starts one desktop: its command, and what it needs around it.
start_weston() {
    launch weston --no-config --socket=wayland-1 --idle-time=0 --backend=x11-backend.so \
        --use-pixman --xwayland
}
start_mutter() {
    launch dbus-run-session -- mutter --headless --virtual-monitor 1024x768 --wayland \
        --wayland-display=wayland-1
}
start_kwin() {
    # A copy without the file capability, whose exec some containers refuse.
    cp "$(command -v kwin_wayland)" "$scratch/kwin_wayland"
    launch dbus-run-session -- "$scratch/kwin_wayland" --virtual --xwayland --socket=wayland-1
}
wlroots=(env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman)
start_sway() { launch "${wlroots[@]}" sway --config /dev/null; }
start_labwc() { launch "${wlroots[@]}" labwc --config-dir "$XDG_RUNTIME_DIR"; }

# launch COMMAND...: the desktop in a session of its own, stopped with its whole process
# group; then its Wayland socket, and the Xwayland that it offers on the one X socket that is new.
launch() {
    sockets=$(ls /tmp/.X11-unix)
    setsid "${as[@]}" "$@" >"$XDG_RUNTIME_DIR.log" 2>&1 &
    pids+=(-$!)
    wait_until 20 "Wayland socket (log: $XDG_RUNTIME_DIR.log)" \
        compgen -G "$XDG_RUNTIME_DIR/wayland-[0-9]" || return 1
    wayland=$(compgen -G "$XDG_RUNTIME_DIR/wayland-[0-9]" | head -n 1) && wayland=${wayland##*/}
    wait_until 20 'Xwayland socket' xwayland_up || return 1
    # mutter and KWin 6 let in only the holders of the key that they write into the runtime folder.
    xauth=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" || compgen -G "$XDG_RUNTIME_DIR/xauth_*") ||
        xauth=
    wait_until 20 Xwayland "${as[@]}" env XAUTHORITY="$xauth" xdpyinfo -display "$xwayland"
}
xwayland_up() {
    displays=$(comm -13 <(echo "$sockets") <(ls /tmp/.X11-unix) | sed -n 's/^X//p')
    xwayland=:$(head -n 1 <<<"$displays")
    [[ $xwayland != : ]]
}
# stop: the desktop's whole process group; then the X sockets and locks that it left behind,
# as KWin does when it and its Xwayland end together.
stop() {
    local display
    kill -- "${pids[-1]}" 2>/dev/null || true
    wait "${pids[-1]#-}" 2>/dev/null || true
    unset 'pids[-1]'
    for display in $displays; do rm -f "/tmp/.X11-unix/X$display" "/tmp/.X$display-lock"; done
}

# The window on Xwayland, viewable and titled exactly; or a toplevel in the protocol log.
on_x11() {
    local id
    for id in $("${as[@]}" env "XAUTHORITY=$xauth" DISPLAY="$xwayland" xdotool search \
        --onlyvisible --name "^$title\$" 2>/dev/null); do
        [[ $("${as[@]}" env "XAUTHORITY=$xauth" DISPLAY="$xwayland" xdotool getwindowname "$id" \
            getwindowgeometry --shell "$id" | paste -sd' ') == "$title"*' WIDTH=640 HEIGHT=480 '* ]] &&
            return
    done
    return 1
}
on_wayland() { grep -q "xdg_toplevel[@#][0-9]*\.set_title(\"$title\")" "$scratch/err"; }
either() {
    if on_x11; then driver=x11; elif on_wayland; then driver=wayland; else return 1; fi
}
look() {
    driver=''
    wait_until 10 window either || mismatch window "viewable on Xwayland ($title, 640x480), or a toplevel" none
}

# From the protocol log (WAYLAND_DEBUG=client): the toplevel's title, how long its surface lived
# by the log's clock, and whether the compositor sent it wl_surface.enter (shown on an output).
# The clock is microseconds modulo 2^32 written as ms ("[4293350.153]"), or from libwayland 1.26
# the time of day ("[22:59:17.297281]"); both wrap, so the lifetime is taken modulo the span.
toplevel() {
    awk '
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
        surface != "" && $0 ~ "[^>] wl_surface[@#]" surface "\\.enter\\(" { shown = "shown" }
        surface != "" && $0 ~ "-> wl_surface[@#]" surface "\\.destroy\\(" { died = stamp }
        END { if (born != "" && died != "")
                  printf "%s|%d|%s\n", title, (died - born + span) % span, shown ? shown : "not shown" }
    ' "$1"
}

# made: the toplevel in the protocol log, titled exactly and alive for the pause; sets shown.
made() {
    local log=$scratch/$((++logs))-protocol.log title_ lifetime
    cp "$scratch/err" "$log"
    IFS='|' read -r title_ lifetime shown <<<"$(toplevel "$log")"
    [[ $title_ == "$title" ]] || mismatch toplevel "one titled '$title'" "${title_:-none} (log: $log)"
    ((${lifetime:-0} >= 3000)) || mismatch 'toplevel lifetime' 'at least 3000 ms' "${lifetime:-0} ms"
}
logs=0
# seen: the driver taken and whether the window was shown, or that the run hung, against the
# README's table.
seen() {
    local got=hangs
    shown=shown
    if ((status != 124 && status != 137)); then
        [[ $driver != wayland ]] || made
        got="$driver, $shown"
    fi
    [[ -z $driver || $got == "$(readme_says "$desktop" "$mode")" ]] ||
        mismatch "README, $build" "$desktop, SDL_VIDEODRIVER $mode: $(readme_says "$desktop" "$mode")" "$got"
}

# on MODE ENV_ARGUMENT...: one case on the desktop, SDL_VIDEODRIVER unset or wayland. Where the
# README says that the library waits for ever, the run is given 10 s.
on() {
    local outcome=shown limit=30
    mode=$1
    [[ $(readme_says "$desktop" "$mode") != hangs ]] || outcome=hangs limit=10
    check "$desktop: SDL_VIDEODRIVER $mode" "$outcome" look seen "${@:2}" -- "${as[@]}" "$program"
}

# desktop NAME COMMAND: both cases on one desktop, when this release has it.
desktop() {
    desktop=$1
    if ! command -v "$2" >/dev/null; then
        [[ $(readme_says "$1" unset) == - ]] || mismatch "$1" "$(readme_says "$1" unset)" "no $2 here"
        verdict "$1: not in this release"
        return
    fi
    export XDG_RUNTIME_DIR=$scratch/$1 HOME=$scratch/$1
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    ((EUID)) || chown 65534:65534 "$XDG_RUNTIME_DIR"
    "start_$1" || { mismatch "$1" started 'no desktop'; verdict "$1"; stop; return; }
    on unset -u SDL_VIDEODRIVER "DISPLAY=$xwayland" "XAUTHORITY=$xauth" "WAYLAND_DISPLAY=$wayland" \
        WAYLAND_DEBUG=client
    on wayland -u DISPLAY SDL_VIDEODRIVER=wayland "WAYLAND_DISPLAY=$wayland" WAYLAND_DEBUG=client
    stop
}

# Weston, nested, last: wlroots' Xwayland, run as nobody, gives up on the first X display
# number when a server of root's holds it, instead of taking the next.
desktop mutter mutter
desktop kwin kwin_wayland
desktop sway sway
desktop labwc labwc
start_xvfb || die "Xvfb did not start"
desktop weston weston

# Weston with no input seat: SDL2 2.26 crashes inside SDL_Init there, a library defect that
# later versions mended. There the crash is the outcome; any other fails.
export XDG_RUNTIME_DIR=$scratch/seatless && mkdir -m 700 "$XDG_RUNTIME_DIR"
weston --no-config --socket=seatless --idle-time=0 --backend=headless-backend.so >"$XDG_RUNTIME_DIR.log" 2>&1 &
pids+=($!)
wait_until 10 "Weston (log: $XDG_RUNTIME_DIR.log)" test -S "$XDG_RUNTIME_DIR/seatless" || die "no headless Weston"
seatless=(shown made 'Weston without a seat')
[[ $build != 'SDL2 2.26' ]] ||
    seatless=(crash - 'Weston without a seat: SDL2 2.26 crashes in SDL_Init, its known defect')
check "${seatless[2]}" "${seatless[0]}" - "${seatless[1]}" -u DISPLAY SDL_VIDEODRIVER=wayland WAYLAND_DEBUG=client \
    WAYLAND_DISPLAY=seatless "ASAN_OPTIONS=${ASAN_OPTIONS:-}:handle_segv=0"

verdicts
