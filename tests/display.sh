#!/usr/bin/env bash
# The program on the real library, held to docs/cases.md's column for this SDL2 build: with no
# display, OpenGL missing or refused, on private X servers and Weston, signals and servers dying
# in the pause; ./scripts/run as well. Under Wine, the cases that Windows has.
#   display.sh PROGRAM
# shellcheck disable=SC2016 # the table's rows hold Markdown's backquotes
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/lib.sh "$1"
skip_without Xvfb xdotool xprop wmctrl openbox
[[ $windows ]] || skip_without weston

# No Wayland socket to be found either: a runtime folder of our own, empty.
export XDG_RUNTIME_DIR=$scratch/runtime && mkdir -m 700 "$XDG_RUNTIME_DIR"

# The viewable windows titled exactly so (xdotool's own search ignores case); it fails on an
# error of xdotool's (a search that finds nothing exits 1 and says nothing).
titled() { # safe in conditions
    local ids id name
    ids=$(xdotool search --onlyvisible --name "$title" 2>"$scratch/xdotool.err") || [[ ! -s $scratch/xdotool.err ]] ||
        return
    for id in $ids; do
        # (A window may go between the search and this.)
        name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
        if [[ $name == "$title" ]]; then echo "$id" || return; fi
    done
}
# windows: titled's, into ids, or a mismatch naming xdotool's error.
windows() { # safe in conditions
    ids=$(titled) && return
    mismatch xdotool 'a list of windows' "$(<"$scratch/xdotool.err")" && return 1
}
window_up() { ids=$(titled) && [[ $ids ]]; }
no_window() { ids=$(titled) && [[ -z $ids ]]; }
# await_window: the first of them in id, once one is up.
await_window() { # safe in conditions
    wait_until 10 window window_up || { mismatch window "one titled '$title'" 'none within 10 s' && return 1; }
    id=${ids%%$'\n'*}
}

# What the cases do while the program runs, or after.
look_at_window() {
    await_window || return 0
    local size hints flags min_w min_h max_w max_h
    windows || return 0
    [[ $ids == "$id" ]] || mismatch "windows titled '$title'" "one: $id" "${ids//$'\n'/ }"
    size=$(xdotool getwindowgeometry --shell "$id" | grep -E '^(WIDTH|HEIGHT)=' | paste -sd' ')
    [[ $size == 'WIDTH=640 HEIGHT=480' ]] || mismatch size 'WIDTH=640 HEIGHT=480' "$size"
    # ICCCM size hints as numbers: flags, 4 unused, then minimum and maximum width and height.
    hints=$(xprop -id "$id" -f WM_NORMAL_HINTS 32c ' $0 $5 $6 $7 $8' WM_NORMAL_HINTS)
    read -r _ flags min_w min_h max_w max_h <<<"$hints"
    [[ "$((flags & 48)) $min_w $min_h $max_w $max_h" == '48 640 480 640 480' ]] ||
        mismatch 'size hints' 'minimum = maximum = 640 480 (not resizable)' "$hints"
}
window_gone() { if windows; then [[ -z $ids ]] || mismatch 'window after the exit' none "$ids"; fi; }
# Where Xlib ended the program, its window goes once the X server has seen the connection close.
no_window_left() { wait_until 10 'window gone' no_window || window_gone; }
disturb_window() {
    await_window || return 0
    if ! wmctrl -i -c "$id" || ! xdotool windowactivate --sync "$id" key Escape q Return \
        ctrl+c mousemove --window "$id" 10 10 click 1; then
        mismatch 'close, keys, mouse' sent 'not sent'
    fi
}
# in_pause: the program sleeps in its pause, by the kernel's name for where it waits, and has not
# woken in 0.3 s: SDL 3.4 sleeps a few milliseconds at a time inside SDL_CreateWindow too.
in_pause() {
    local child switches wchan now
    child=$(pgrep -P "$pid") && switches=$(grep ctxt_switches "/proc/$child/status") && sleep 0.3 &&
        wchan=$(<"/proc/$child/wchan") && now=$(grep ctxt_switches "/proc/$child/status") &&
        [[ $wchan == *nanosleep* && $now == "$switches" ]]
}
await_pause() { # safe in conditions
    wait_until 10 pause in_pause && return
    mismatch pause 'under way' 'not seen' && return 1
}
# A signal or a kill that did not happen fails the case: its outcome may be the same either way.
interrupt() { if await_pause; then signalled INT; fi; }
terminate() { if await_pause; then signalled TERM; fi; }
signalled() { # safe in conditions
    local child
    { child=$(pgrep -P "$pid") && kill -"$1" "$child" 2>/dev/null; } || mismatch "SIG$1" sent 'not sent'
}
kill_server() { if await_window && await_pause; then killed "$xvfb_pid" Xvfb; fi; }
kill_weston() { if await_pause; then killed "$weston_pid" Weston; fi; }
killed() { # safe in conditions
    kill "$1" 2>/dev/null || { mismatch "$2 killed" 'it was' "no process $1 to kill" && return; }
    wait "$1" 2>/dev/null || true
}
# ./scripts/run on the program under test, without a display: the screenshot, nothing left running.
run=(scripts/run --build "${program%/*}")
shot=${program%/*}/screenshot.png
run_cleaned_up() {
    [[ -s $shot && $shot -nt $scratch/runtime ]] || mismatch screenshot "$shot, new" "$(ls -l "$shot" 2>&1)"
    local status=0
    pgrep -g "$pid" -a >"$scratch/left" || status=$?
    ((status == 1)) || mismatch 'processes left' "none (pgrep's status 1)" "status $status: $(<"$scratch/left")"
}

# Without apt: a PATH with every command of this one but apt's and dpkg's, then not cmake either.
no_apt=$scratch/no-apt && path_without "$no_apt" 'apt*' 'dpkg*'
named_cmake() {
    [[ $(<"$scratch/err") == *'missing: cmake'*'dnf install'*' cmake'* ]] ||
        mismatch 'standard error' 'cmake named, with the line that installs it' "$(<"$scratch/err")"
}

if [[ $windows ]]; then
    start_display
    check 'dummy driver: no OpenGL'     refused -              -               SDL_VIDEODRIVER=dummy
    check 'unknown driver'              refused -              -               SDL_VIDEODRIVER=bogus
    check 'bare X server'               shown   look_at_window window_gone
    start_wm || die "openbox did not start"
    check 'openbox: close, keys, mouse' shown   disturb_window -
    verdicts
    exit
fi

table_index docs/cases.md Case
no_display=(-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER)
start_xvfb -extension GLX || die "Xvfb without GLX did not start"
no_glx=$DISPLAY
start_display
# A display number that no server has.
silent=100
while [[ -e /tmp/.X11-unix/X$silent || -e /tmp/.X$silent-lock ]]; do silent=$((silent + 1)); done
x11=case:'`SDL_VIDEODRIVER=x11` with no `DISPLAY`, or one that no server answers'
#     name                             outcome (the row)                      during         after          environment, command
check 'no display at all'              case:'No display at all'               -              -              "${no_display[@]}"
check 'dummy driver'                   case:'`SDL_VIDEODRIVER=dummy`'         -              -              SDL_VIDEODRIVER=dummy
check 'x11 driver, no DISPLAY'         "$x11"                                 -              -              "${no_display[@]}" SDL_VIDEODRIVER=x11
check 'x11 driver, no server there'    "$x11"                                 -              -              "DISPLAY=:$silent"
check 'X server without GLX'           case:'An X server without GLX'         -              no_window_left "DISPLAY=$no_glx"
check 'no OpenGL library'              case:'No OpenGL library'               -              no_window_left SDL_OPENGL_LIBRARY=libGL-absent.so.1
check "Mesa's driver cannot start"     case:"Mesa's driver cannot start"      -              no_window_left GALLIUM_DRIVER=bogus
check 'indirect GLX asked for'         case:'Indirect GLX asked for'          -              no_window_left LIBGL_ALWAYS_INDIRECT=1
check 'bare X server'                  case:'An X server (Xvfb)'              look_at_window window_gone
start_wm || die "openbox did not start"
check 'openbox: close, keys, mouse'    case:"The window's close button during the pause" disturb_window -
check 'SIGINT in the pause'            case:'SIGINT (Ctrl+C) or SIGTERM during the pause' interrupt -
check 'SIGTERM in the pause'           case:'SIGINT (Ctrl+C) or SIGTERM during the pause' terminate -
check './scripts/run, dummy driver'    line                                   -              -              SDL_VIDEODRIVER=dummy -- "${run[@]}"
check './scripts/run, no display'      shown                                  -              run_cleaned_up -u DISPLAY -- "${run[@]}"
check './scripts/run, no apt'          shown                                  -              -              "PATH=$no_apt" -- "${run[@]}"
rm "$no_apt/cmake"
check './scripts/run, no apt or cmake' lost                                   -              named_cmake    "PATH=$no_apt" -- "${run[@]}"
check 'X server dies in the pause'     case:'The X server dies during the pause' kill_server -
if [[ $sanitizers ]]; then
    # Under the sanitizers the X11 cases alone: see tests/CMakeLists.txt.
    verdict 'Wayland cases: left out under the sanitizers'
    rows_run+=("A Wayland compositor (Weston)" 'Wayland: no EGL library' 'Wayland: an EGL that cannot start'
        'The Wayland compositor dies during the pause' 'A Wayland compositor with no input seat')
else
    # Nested on an Xvfb of its own, with no window manager: the first is gone.
    start_xvfb || die "Xvfb did not start"
    start_weston x11 "$scratch/weston" || die "Weston did not start"
    wayland=(-u DISPLAY SDL_VIDEODRIVER=wayland "XDG_RUNTIME_DIR=${weston%/*}" "WAYLAND_DISPLAY=${weston##*/}")
    check 'Weston'                     case:'A Wayland compositor (Weston)'   -              -              "${wayland[@]}"
    check 'Weston: no EGL library'     case:'Wayland: no EGL library'         -              -              "${wayland[@]}" SDL_VIDEO_EGL_DRIVER=libEGL-absent.so.1 SDL_EGL_LIBRARY=libEGL-absent.so.1
    check 'Weston: EGL cannot start'   case:'Wayland: an EGL that cannot start' -            -              "${wayland[@]}" GALLIUM_DRIVER=bogus
    check 'Weston dies in the pause'   case:'The Wayland compositor dies during the pause' kill_weston - "${wayland[@]}"
    start_weston headless "$scratch/weston-headless" || die "Weston (headless) did not start"
    check 'Weston, no input seat'      case:'A Wayland compositor with no input seat' -     -              -u DISPLAY -u SDL_VIDEODRIVER "XDG_RUNTIME_DIR=${weston%/*}" "WAYLAND_DISPLAY=${weston##*/}"
fi

# Every row of the table has a case.
for row in "${first_cells[@]}"; do
    found=''
    for ran in "${rows_run[@]}"; do [[ $ran != "$row" ]] || found=1; done
    [[ $found ]] || mismatch "$doc: row '$row'" 'a case' none
done
verdict "$doc: a case for every row"
verdicts
