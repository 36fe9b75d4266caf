# shellcheck shell=bash
# Display servers and desktops, on top of basics.sh, each stopped by its process id on exit
# (the variables that each start sets are for the caller):
#   start_xvfb:       a private virtual X display: DISPLAY, xvfb_pid, xvfb_log
#   start_weston:     a private Weston, nested or headless: weston (its socket), weston_pid
#   start_wm:         openbox on the X display
#   desktops:         the desktops people use, by name, from desktop_tools (lines of the
#                     installer's tools); desktop_command gives each one's command
#   start_desktop:    one of them, with Xwayland, in a session of its own: XDG_RUNTIME_DIR,
#                     wayland, xwayland_display, xauth, as_user; stop_desktop stops it
#   on_xwayland:      a command on the desktop's Xwayland, as its user

# The desktops, as lines of installer.sh's tools, in the order that the suites try them: Weston
# last, since wlroots' Xwayland, run as nobody, gives up on an X display number that a server of
# root's holds, not taking the next. start_desktop starts each.
desktop_tools='
mutter     desktops ?mutter           mutter             mutter       mutter           mutter    mutter  -
kwin       desktops ?kwin_wayland     kwin-wayland       kwin         kwin             kwin6     kwin    -
sway       desktops ?sway             sway               sway         sway             sway      sway    -
labwc      desktops ?labwc            labwc              labwc        labwc            labwc     labwc   -
weston     suites   weston            weston             weston       weston           weston    weston  -
'
desktops=$(awk 'NF {print $1}' <<<"$desktop_tools")
# shellcheck disable=SC2034 # for the scripts that try them
mapfile -t desktops <<<"$desktops"
desktop_command() { # safe in conditions
    awk -v name="$1" '$1 == name {sub(/^[?]/, "", $3); print $3}' <<<"$desktop_tools"
}

# start_xvfb [ARGUMENT...]: a private Xvfb, with those arguments too, on a display number that
# it picks free itself. Sets DISPLAY, xvfb_pid and xvfb_log, and points SDL2 at it alone.
# shellcheck disable=SC2120 # the arguments are optional
start_xvfb() { # safe in conditions
    local display_file
    display_file=$(mktemp "$scratch/display.XXXX") || return
    xvfb_log=$display_file.log
    # -noreset: the server stays as it is when its last client leaves.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset "$@" 3>"$display_file" 2>"$xvfb_log" &
    xvfb_pid=$!
    pids+=("$xvfb_pid")
    wait_until 10 "Xvfb (log: $xvfb_log)" test -s "$display_file" || return 1
    DISPLAY=:$(<"$display_file") || return
    export DISPLAY SDL_VIDEODRIVER=x11
    unset WAYLAND_DISPLAY
}

# start_weston BACKEND FOLDER: Weston, its runtime folder FOLDER made here, nested on $DISPLAY
# (x11) or with no output and no input seat (headless). Sets weston (its socket), weston_pid.
start_weston() { # safe in conditions
    mkdir -m 700 "$2" || return
    XDG_RUNTIME_DIR=$2 weston --no-config --idle-time=0 --backend="$1-backend.so" --use-pixman \
        >"$2.log" 2>&1 &
    weston_pid=$!
    pids+=("$weston_pid")
    wait_until 10 "Weston (log: $2.log)" compgen -G "$2/wayland-?" || return 1
    # shellcheck disable=SC2034 # for the caller
    weston=$(compgen -G "$2/wayland-?")
}

# start_wm: openbox on $DISPLAY, once its start-up is over: a window mapped before may never be
# managed, and so never shown.
start_wm() { # safe in conditions
    openbox --sm-disable --startup "touch $scratch/wm-ready" >"$scratch/wm.log" 2>&1 &
    pids+=($!)
    wait_until 10 "window manager (log: $scratch/wm.log)" test -e "$scratch/wm-ready"
}

# start_desktop NAME: the desktop in a session, home and runtime folder of its own, headless or,
# where NESTED is set (always for Weston), nested on $DISPLAY, with WAYLAND_DEBUG=client. Sets
# XDG_RUNTIME_DIR (log: its .log), wayland, xwayland_display, xauth and as_user (runs as its user).
start_desktop() { # safe in conditions
    export XDG_RUNTIME_DIR=$scratch/$1
    mkdir -m 700 "$XDG_RUNTIME_DIR" || return
    as_user=()
    # Its user, nobody for some, reaches its runtime folder through the scratch folder.
    chmod 711 "$scratch" || return
    local mutter=(--headless --virtual-monitor 1024x768) kwin=(--virtual) backend=headless
    [[ -z ${NESTED:-} ]] || mutter=(--nested) kwin=(--x11-display "$DISPLAY") backend=x11
    case $1 in
    weston) launch weston --no-config --idle-time=0 --backend=x11-backend.so --use-pixman --xwayland ;;
    mutter) launch dbus-run-session -- mutter "${mutter[@]}" --wayland ;;
    kwin)
        # A copy, without the file capability that some containers refuse to exec.
        local command path
        command=$(desktop_command kwin) || return
        path=$(command -v "$command") || return
        cp "$path" "$scratch/" || return
        launch dbus-run-session -- "$scratch/$command" "${kwin[@]}" --xwayland ;;
    sway | labwc)
        # As root, they and their clients run as nobody: sway will not run as root, and their
        # Xwayland lets in its own user alone.
        if ((EUID == 0)); then
            as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
            chown 65534 "$XDG_RUNTIME_DIR" || return
        fi
        local wlroots=(env "WLR_BACKENDS=$backend" WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman)
        if [[ $1 == sway ]]; then launch "${wlroots[@]}" sway --config /dev/null; else
            launch "${wlroots[@]}" labwc --config-dir "$XDG_RUNTIME_DIR"; fi ;;
    esac
}

# launch COMMAND...: the desktop in a session and a home of its own; its Wayland socket, and the
# X display that its session listens on, for Xwayland.
launch() { # safe in conditions
    # (KWin makes no X socket folder of its own, as an X server would.)
    [[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix || return
    setsid "${as_user[@]}" env WAYLAND_DEBUG=client HOME="$XDG_RUNTIME_DIR" "$@" >"$XDG_RUNTIME_DIR.log" 2>&1 &
    session=$!
    pids+=(-"$session")
    wait_until 20 "Wayland socket (log: $XDG_RUNTIME_DIR.log)" wayland_up || return
    wait_until 20 'Xwayland socket' xwayland_up || return
    # mutter and KWin 6 let in only the holders of the key that they write into the runtime folder.
    xauth=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" || compgen -G "$XDG_RUNTIME_DIR/xauth_*") ||
        xauth=
    wait_until 20 Xwayland on_xwayland timeout 5 xdpyinfo
}
# shellcheck disable=SC2034 # for the caller
wayland_up() { local found; found=$(compgen -G "$XDG_RUNTIME_DIR/wayland-?") && wayland=${found%%$'\n'*}; }
xwayland_up() { displays=$(x_displays "$session") && xwayland_display=:${displays%%$'\n'*} && [[ $xwayland_display != : ]]; }
# x_displays SESSION: the numbers of the X displays whose sockets the session's processes listen
# on, by the kernel's table of Unix sockets and the processes' descriptors.
x_displays() { # safe in conditions
    local pid session sockets='' found
    session=$(pgrep -s "$1") || return
    # (A process may end before its descriptors are read.)
    for pid in $session; do
        sockets+=$(find "/proc/$pid/fd" -lname 'socket:*' -printf '%l\n' 2>/dev/null)$'\n' || true
    done
    found=$(awk 'FILENAME == "-" { gsub(/[^0-9]/, ""); ours[$0]; next }
        ($7 in ours) && $8 ~ /^\/tmp\/\.X11-unix\/X[0-9]+$/ { print substr($8, 17) }' - /proc/net/unix <<<"$sockets") || return
    sort -un <<<"$found"
}
# on_xwayland COMMAND...: COMMAND on the desktop's Xwayland, as the desktop's user.
on_xwayland() { # safe in conditions
    "${as_user[@]}" env "XAUTHORITY=$xauth" DISPLAY="$xwayland_display" "$@"
}
# stop_desktop: the desktop's session, and the X sockets and locks of its displays (KWin leaves
# them).
stop_desktop() {
    local display
    { kill -- "${pids[-1]}" && wait "${pids[-1]#-}"; } 2>/dev/null || true
    stopped "${pids[-1]}"
    unset 'pids[-1]'
    for display in $displays; do rm -f "/tmp/.X11-unix/X$display" "/tmp/.X$display-lock"; done
}
