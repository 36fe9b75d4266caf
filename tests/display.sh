#!/usr/bin/env bash
# The program on the real library: refused where it cannot make the window, then on a private
# Xvfb, bare and under openbox, through ./scripts/run as well, and last with the server dying.
#   display.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."
source tests/lib.sh
need Xvfb xdotool xprop wmctrl openbox

title='An SDL2 window'
# No Wayland socket to be found either: a runtime folder of our own, empty.
export XDG_RUNTIME_DIR=$scratch/runtime && mkdir -m 700 "$XDG_RUNTIME_DIR"

# The viewable windows titled exactly so (xdotool's own search ignores case).
titled() {
    local id
    for id in $(xdotool search --onlyvisible --name "$title" 2>/dev/null); do
        [[ $(xdotool getwindowname "$id") != "$title" ]] || echo "$id"
    done
}
window_up() { [[ $(titled) ]]; }
# await_window: the first of them in id, once one is up.
await_window() {
    wait_until 10 window window_up && id=$(titled | head -n 1) && return
    mismatch window "one titled '$title'" "none within 10 s" && return 1
}

# What the cases do while the program runs, or after.
look_at_window() {
    await_window || return 0
    local size hints flags min_w min_h max_w max_h
    [[ $(titled | wc -l) == 1 ]] || mismatch "windows titled '$title'" 1 "$(titled | wc -l)"
    size=$(xdotool getwindowgeometry --shell "$id" | grep -E '^(WIDTH|HEIGHT)=' | paste -sd' ')
    [[ $size == 'WIDTH=640 HEIGHT=480' ]] || mismatch size 'WIDTH=640 HEIGHT=480' "$size"
    # ICCCM size hints as numbers: flags, 4 unused, then minimum and maximum width and height.
    hints=$(xprop -id "$id" -f WM_NORMAL_HINTS 32c ' $0 $5 $6 $7 $8' WM_NORMAL_HINTS)
    read -r _ flags min_w min_h max_w max_h <<<"$hints"
    [[ "$((flags & 48)) $min_w $min_h $max_w $max_h" == '48 640 480 640 480' ]] ||
        mismatch 'size hints' 'minimum = maximum = 640 480 (not resizable)' "$hints"
}
window_gone() { [[ -z $(titled) ]] || mismatch 'window after the exit' none "$(titled)"; }
disturb_window() {
    await_window || return 0
    if ! wmctrl -i -c "$id" || ! xdotool windowactivate --sync "$id" key Escape q Return \
        ctrl+c mousemove --window "$id" 10 10 click 1; then
        mismatch 'close, keys, mouse' sent 'not sent'
    fi
}
# Once the window is up and the program is inside its pause.
kill_server() {
    await_window || return 0
    wait_until 10 pause in_pause "$(pgrep -P "$pid")" || mismatch pause 'under way' 'not seen'
    kill "$xvfb_pid"
    wait "$xvfb_pid" || true
}
# In a sleep, by the kernel's name for where the thread waits, the same on every architecture.
in_pause() { [[ $(<"/proc/$1/wchan") == *nanosleep* ]]; }
# ./scripts/run without a display: the screenshot, and nothing of the run left running.
run_cleaned_up() {
    [[ -s build/screenshot.png && build/screenshot.png -nt $scratch/display ]] ||
        mismatch screenshot 'build/screenshot.png, new' "$(ls -l build/screenshot.png 2>&1)"
    ! pgrep -g "$pid" -a >"$scratch/left" || mismatch 'processes left' none "$(<"$scratch/left")"
}

# Without apt: a PATH with every command of this one but apt-get and dpkg's, then not cmake either.
no_apt=$scratch/no-apt && mkdir "$no_apt"
for dir in ${PATH//:/ }; do cp -sn "$dir"/* "$no_apt" 2>/dev/null || true; done
rm -f "$no_apt"/{apt,apt-get,dpkg,dpkg-query}
named_cmake() {
    [[ $(<"$scratch/err") == *'missing: cmake'*'dnf install'*' cmake'* ]] ||
        mismatch 'standard error' 'cmake named, with the line that installs it' "$(<"$scratch/err")"
}

no_display=(-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER)
start_display
#     name                          outcome during         after           environment, command
check 'dummy driver: no OpenGL'     refused -              -               SDL_VIDEODRIVER=dummy
if [[ $windows ]]; then
check 'unknown driver'              refused -              -               SDL_VIDEODRIVER=bogus
else
check 'x11 driver, no display'      refused -              -               "${no_display[@]}" SDL_VIDEODRIVER=x11
fi
check 'bare X server'               shown   look_at_window window_gone
start_wm || die "openbox did not start"
check 'openbox: close, keys, mouse' shown   disturb_window -
if [[ ! $windows ]]; then
check './scripts/run, dummy driver' line    -              -               SDL_VIDEODRIVER=dummy -- scripts/run
check './scripts/run, no display'   shown   -              run_cleaned_up  -u DISPLAY -- scripts/run
check './scripts/run, no apt'       shown   -              -               "PATH=$no_apt" -- scripts/run
rm "$no_apt/cmake"
check './scripts/run, no apt or cmake' lost -              named_cmake     "PATH=$no_apt" -- scripts/run
check 'X server dies in the pause'  lost    kill_server    -
fi

verdicts
