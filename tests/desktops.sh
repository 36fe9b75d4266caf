#!/usr/bin/env bash
# The program on the desktops people use, each headless (Weston nested on a private Xvfb) with
# Xwayland, in a runtime folder of its own: with no SDL_VIDEODRIVER, and with the Wayland driver.
# Whether the window was shown must agree with the README's table for this SDL2 build.
#   desktops.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source tests/lib.sh
need Xvfb Xwayland xdotool xdpyinfo dbus-run-session weston

title='An SDL2 window'
chmod 711 "$scratch"

# The README's name for this SDL2 build: "SDL2 2.26", or "SDL2 on SDL 3.4" for the layer.
sdl2=$(realpath "$(ldd "$program" | awk '$1 ~ /^libSDL2-2/ {print $3}')")
if grep -q libSDL3 "$sdl2"; then
    sdl3=$(realpath "$(compgen -G "${sdl2%/*}/libSDL3.so.0" || compgen -G "${sdl2%/*}/../libSDL3.so.0")")
    sdl3=${sdl3##*.so.0.} && build="SDL2 on SDL 3.${sdl3%%.*}"
else
    sdl2=${sdl2##*.so.0.} && build="SDL2 2.$((${sdl2%%.*} / 100))"
fi
# readme_says DESKTOP unset|wayland: the README's desktops table's cell for this build.
readme_says() {
    awk -F' *[|] *' -v name="$1" -v driver="$2" -v column="$build" '
        $2 == "Desktop" { for (i = 4; i < NF; i++) if ($i == column) c = i }
        c && tolower($2) ~ "(^|[(])" name "([) ]|$)" && $3 ~ driver { print $c; exit }' README.md
}

# Each start_NAME starts one desktop; KWin a copy without its file capability, whose exec some
# containers refuse.
start_weston() { launch weston --no-config --idle-time=0 --backend=x11-backend.so --use-pixman --xwayland; }
start_mutter() { launch dbus-run-session -- mutter --headless --virtual-monitor 1024x768 --wayland; }
start_kwin() {
    cp "$(command -v kwin_wayland)" "$scratch/kwin_wayland"
    launch dbus-run-session -- "$scratch/kwin_wayland" --virtual --xwayland
}
# As root, the wlroots desktops, the program and the tools that look at its window run as
# nobody: sway will not run as root, and their Xwayland lets in its own user alone.
wlroots() {
    ((EUID)) || { as=(setpriv --reuid=65534 --regid=65534 --clear-groups) && chown 65534 "$XDG_RUNTIME_DIR"; }
    launch env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman "$@"
}
start_sway() { wlroots sway --config /dev/null; }
start_labwc() { wlroots labwc --config-dir "$XDG_RUNTIME_DIR"; }

# launch COMMAND...: the desktop in a session of its own; its Wayland socket, and its Xwayland on
# the one X socket that is new.
launch() {
    sockets=$(ls /tmp/.X11-unix) displays=
    setsid "${as[@]}" "$@" >"$XDG_RUNTIME_DIR.log" 2>&1 &
    pids+=(-$!)
    wait_until 20 "Wayland socket (log: $XDG_RUNTIME_DIR.log)" wayland_up || return 1
    wait_until 20 'Xwayland socket' xwayland_up || return 1
    # mutter and KWin 6 let in only the holders of the key that they write into the runtime folder.
    xauth=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" || compgen -G "$XDG_RUNTIME_DIR/xauth_*") ||
        xauth=
    wait_until 20 Xwayland x timeout 5 xdpyinfo
}
wayland_up() { wayland=$(compgen -G "$XDG_RUNTIME_DIR/wayland-?" | head -n 1) && [[ ${wayland:=} ]]; }
xwayland_up() {
    displays=$(comm -13 <(echo "$sockets") <(ls /tmp/.X11-unix) | sed -n 's/^X//p')
    xwayland=:$(head -n 1 <<<"$displays")
    [[ $xwayland != : ]]
}
# stop: the desktop's process group, and the X sockets and locks that it left (KWin does).
stop() {
    local display
    { kill -- "${pids[-1]}" && wait "${pids[-1]#-}"; } 2>/dev/null || true
    unset 'pids[-1]'
    for display in $displays; do rm -f "/tmp/.X11-unix/X$display" "/tmp/.X$display-lock"; done
}

# The window on Xwayland, viewable and titled exactly; or a toplevel in the protocol log.
on_x11() {
    local id
    for id in $(x xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
        [[ $(x xdotool getwindowname "$id" getwindowgeometry --shell "$id" | paste -sd' ') == \
            "$title"*' WIDTH=640 HEIGHT=480 '* ]] && return
    done
    return 1
}
x() { "${as[@]}" env "XAUTHORITY=$xauth" DISPLAY="$xwayland" "$@"; }
on_wayland() { grep -q "xdg_toplevel[@#][0-9]*\.set_title(\"$title\")" "$scratch/err"; }
taken() { if on_x11; then driver=x11; elif on_wayland; then driver=wayland; else return 1; fi; }
look() {
    driver=''
    wait_until 10 window taken || mismatch window "viewable on Xwayland ($title, 640x480), or a toplevel" none
}

# From the protocol log (WAYLAND_DEBUG=client): the toplevel's title, and whether the compositor
# sent its surface wl_surface.enter (shown on an output). How long the window lives is the
# display suite's to judge, on X11, where the program's code is the same.
toplevel() {
    awk '
        match($0, /xdg_surface[@#][0-9]+\.get_toplevel\(new id xdg_toplevel[@#][0-9]+/) {
            split(substr($0, RSTART, RLENGTH), f, /[@#.(]/); toplevel = f[5]
            surface = surface_of[f[2]]
        }
        match($0, /get_xdg_surface\(new id xdg_surface[@#][0-9]+, wl_surface[@#][0-9]+/) {
            split(substr($0, RSTART, RLENGTH), f, /[@#,]/); surface_of[f[2] + 0] = f[4] + 0
        }
        toplevel != "" && $0 ~ "xdg_toplevel[@#]" toplevel "\\.set_title\\(" {
            title = $0; sub(/.*set_title\("/, "", title); sub(/"\).*/, "", title)
        }
        surface != "" && $0 ~ "[^>] wl_surface[@#]" surface "\\.enter\\(" { shown = "shown" }
        END { if (title != "") printf "%s|%s\n", title, shown ? shown : "not shown" }
    ' "$1"
}

# made: the toplevel in the protocol log, titled exactly; sets shown.
made() {
    local log=$scratch/$((++logs))-protocol.log title_
    cp "$scratch/err" "$log"
    IFS='|' read -r title_ shown <<<"$(toplevel "$log")"
    [[ $title_ == "$title" ]] || mismatch toplevel "one titled '$title'" "${title_:-none} (log: $log)"
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

# desktop NAME COMMAND: both cases on one desktop, when this release has it and DESKTOPS, if
# set, names it.
desktop() {
    desktop=$1
    [[ " ${DESKTOPS:-$1} " == *" $1 "* ]] || { verdict "$1: left out (DESKTOPS=$DESKTOPS)" && return; }
    if ! command -v "$2" >/dev/null; then
        [[ $(readme_says "$1" unset) == - ]] || mismatch "$1" "$(readme_says "$1" unset)" "no $2 here"
        verdict "$1: not in this release"
        return
    fi
    export XDG_RUNTIME_DIR=$scratch/$1 HOME=$scratch/$1
    mkdir -m 700 "$XDG_RUNTIME_DIR" && as=()
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

verdicts
