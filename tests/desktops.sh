#!/usr/bin/env bash
# The program on the desktops people use, each headless (Weston nested) with Xwayland: with no
# SDL_VIDEODRIVER, and with each driver named. The driver taken, and whether the window was
# shown, must agree with docs/desktops.md's table for this SDL2 build.
#   desktops.sh PROGRAM
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/lib.sh "$1"
skip_without Xvfb Xwayland xdotool xdpyinfo xmessage dbus-run-session weston weston-simple-shm

# table_says DESKTOP unset|x11|wayland [FIELD]: this build's cell of the table (or the row's
# FIELD: 2, its desktop), or nothing. Where there is none, or "-" and the desktop is here all the
# same, the runs are measured, not judged.
table_index docs/desktops.md Desktop
table_says() {
    awk -F' *[|] *' -v name="$1" -v driver="$2" -v c="${3:-$index}" -v header="$header" '
        c && NR > header && tolower($2) ~ "(^|[(])" name "([) ]|$)" && $3 ~ driver { print $c; exit }' "$doc"
}

# The window on Xwayland, viewable and titled exactly; or a toplevel in the protocol log.
on_x11() { # safe in conditions
    local ids id about
    ids=$(on_xwayland xdotool search --onlyvisible --name "^$title\$" 2>/dev/null) || return
    for id in $ids; do
        # (A window may go between the search and this.)
        about=$(on_xwayland xdotool getwindowname "$id" getwindowgeometry --shell "$id") || continue
        [[ "${about//$'\n'/ } " != "$title"*' WIDTH=640 HEIGHT=480 '* ]] || return 0
    done
    return 1
}
on_wayland() { # safe in conditions
    grep -q "xdg_toplevel[@#][0-9]*\.set_title(\"$title\")" "$scratch/err"
}
window_driver() { if on_x11; then driver=x11; elif on_wayland; then driver=wayland; else return 1; fi; }
find_window() {
    driver=''
    wait_until 10 window window_driver || mismatch window "viewable on Xwayland ($title, 640x480), or a toplevel" none
}

# Shown: the compositor drew the window, as its client's protocol log (WAYLAND_DEBUG=client)
# tells: the surface was given a buffer, and the frame callback of that commit was done. The
# surface is the toplevel's for a Wayland client; for an X11 window, the one that Xwayland made
# for it or its frame, in the compositor's log, whose environment Xwayland inherits.
# (wl_surface.enter cannot serve: none of the five desktops sends it for Xwayland's surfaces.)
#   protocol < LOG: "TITLE|shown" or "TITLE|not shown", for the first toplevel in LOG, or for
#   any surface but a cursor when there is no toplevel (Xwayland's)
protocol() { # safe in conditions
    awk '
        function id(kind) {
            match($0, kind "[@#][0-9]+")
            return substr($0, RSTART + length(kind) + 1, RLENGTH - length(kind) - 1) + 0
        }
        /-> wl_compositor[@#][0-9]+\.create_surface\(/ { s = id("wl_surface"); made[s] = 1; buffer[s] = drawn[s] = 0 }
        /-> wl_pointer[@#][0-9]+\.set_cursor\(/ { cursor[id("wl_surface")] = 1 }
        /-> wl_surface[@#][0-9]+\.attach\(/ { buffer[id("wl_surface")] = $0 !~ /attach\(nil/ }
        /-> wl_surface[@#][0-9]+\.frame\(/ { s = id("wl_surface"); if (buffer[s]) frame[id("wl_callback")] = s }
        !/->/ && /wl_callback[@#][0-9]+\.done\(/ { c = id("wl_callback"); if (c in frame) drawn[frame[c]] = 1; delete frame[c] }
        /-> xdg_wm_base[@#][0-9]+\.get_xdg_surface\(/ { surface_of[id("xdg_surface")] = id("wl_surface") }
        /-> xdg_surface[@#][0-9]+\.get_toplevel\(/ && toplevel == "" { toplevel = id("xdg_toplevel"); window = surface_of[id("xdg_surface")] }
        toplevel != "" && $0 ~ "-> xdg_toplevel[@#]" toplevel "\\.set_title\\(" {
            title = $0; sub(/.*set_title\("/, "", title); sub(/"\).*/, "", title)
        }
        END {
            if (toplevel != "") shown = drawn[window]
            else for (s in made) if (drawn[s] && !cursor[s]) shown = 1
            printf "%s|%s\n", title, shown ? "shown" : "not shown"
        }'
}
# xwayland_says FROM: what Xwayland's log says, from byte FROM of the compositor's log.
xwayland_says() { # safe in conditions
    tail -c +"$(($1 + 1))" "$XDG_RUNTIME_DIR.log" | protocol | cut -d'|' -f2
}

# toplevel_titled: the toplevel in the protocol log, titled exactly; sets shown.
toplevel_titled() {
    local log=$scratch/$((++protocol_logs))-protocol.log title_ said
    cp "$scratch/err" "$log"
    said=$(protocol <"$log")
    IFS='|' read -r title_ shown <<<"$said"
    [[ $title_ == "$title" ]] || mismatch toplevel "one titled '$title'" "${title_:-none} (log: $log)"
}
protocol_logs=0
# judge_desktop: the driver taken and whether the window was shown, or a hang, against the table.
judge_desktop() {
    local got=hangs
    if ((status != 124 && status != 137)); then
        if [[ $driver == wayland ]]; then toplevel_titled; else shown=$(xwayland_says "$from"); fi
        got="$driver, $shown"
    fi
    local cell
    cell=$(table_says "$desktop" "$mode")
    if [[ -z $cell || $cell == - ]]; then
        measured_rows+=("| $(table_says "$desktop" "$mode" 2) | $mode | $got |")
        return
    fi
    [[ -z $driver || $got == "$cell" || $cell == "$got, or hangs" || ($got == hangs && $cell == *', or hangs') ]] ||
        mismatch "table, $sdl2_build" "$desktop, SDL_VIDEODRIVER $mode: $cell" "$got"
}

# run_case MODE ENV_ARGUMENT...: one case, SDL_VIDEODRIVER unset, x11 or wayland; 10 s where the
# table says that the library waits for ever, or may; where it says nothing, it may, in 30 s.
run_case() {
    local outcome=shown limit=30
    mode=$1
    case $(table_says "$desktop" "$mode") in
    hangs) outcome=hangs limit=10 ;;
    *', or hangs') outcome=sometimes limit=10 ;;
    '' | -) outcome=sometimes ;;
    esac
    from=$(stat -c %s "$XDG_RUNTIME_DIR.log")
    check "$desktop: SDL_VIDEODRIVER $mode" "$outcome" find_window judge_desktop "${@:2}" -- "${as_user[@]}" "$program"
}

# controls: on each desktop, an X client and a Wayland client that both draw must be seen
# shown by the same rules, or the desktop's verdicts would come from a blind eye.
controls() {
    local from
    from=$(stat -c %s "$XDG_RUNTIME_DIR.log")
    control 'X control (xmessage)' x_control_shown on_xwayland xmessage -center 'An X client that draws'
    control 'Wayland control (weston-simple-shm)' wayland_control_shown \
        "${as_user[@]}" env WAYLAND_DISPLAY="$wayland" WAYLAND_DEBUG=client weston-simple-shm
    verdict "$desktop: controls"
}
# control NAME SHOWN COMMAND...: the client that COMMAND starts, seen shown by SHOWN.
control() {
    local pid
    "${@:3}" >/dev/null 2>"$scratch/$desktop-control.log" &
    pid=$!
    wait_until 10 "$1 shown" "$2" || mismatch "$1" shown 'not shown: cannot see anything here'
    { kill "$pid" && wait "$pid"; } 2>/dev/null || true
}
x_control_shown() { local said; said=$(xwayland_says "$from") && [[ $said == shown ]]; }
wayland_control_shown() { local said; said=$(protocol <"$scratch/$desktop-control.log") && [[ $said == *'|shown' ]]; }

# try_desktop NAME: the controls and the three cases, where the desktop is here and DESKTOPS allows.
try_desktop() {
    desktop=$1
    local command
    command=$(desktop_command "$1")
    [[ " ${DESKTOPS:-$1} " == *" $1 "* ]] || { verdict "$1: left out (DESKTOPS=$DESKTOPS)" && return; }
    if ! command -v "$command" >/dev/null; then
        # Where the table says that this release has it, missing is a failure in CI, else a skip.
        case $(table_says "$1" unset) in
        - | '') verdict "$1: not in this release" ;;
        *) [[ -z ${CI:-} ]] || mismatch "$1" "$(table_says "$1" unset)" "no $command here"
           verdict "$1: skipped, no $command here" ;;
        esac
        return
    fi
    start_desktop "$1" || { mismatch "$1" started 'no desktop'; verdict "$1"; stop_desktop; return; }
    controls 2>/dev/null # (weston-simple-shm aborts on sway, its two buffers held, once seen)
    run_case unset -u SDL_VIDEODRIVER "DISPLAY=$xwayland_display" "XAUTHORITY=$xauth" "WAYLAND_DISPLAY=$wayland" \
        WAYLAND_DEBUG=client
    run_case wayland -u DISPLAY SDL_VIDEODRIVER=wayland "WAYLAND_DISPLAY=$wayland" WAYLAND_DEBUG=client
    run_case x11 SDL_VIDEODRIVER=x11 "DISPLAY=$xwayland_display" "XAUTHORITY=$xauth" "WAYLAND_DISPLAY=$wayland"
    stop_desktop
}

# Weston, last, is nested on an Xvfb of its own.
for name in "${desktops[@]}"; do
    [[ $name != weston ]] || start_xvfb || die "Xvfb did not start"
    try_desktop "$name"
done

verdicts
