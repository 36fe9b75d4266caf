# shellcheck shell=bash
# Shell helpers shared by the scripts and the test suites. Source it; it does not run by itself.
#   say, die:         step messages and errors, both on standard error
#   install_missing:  installs the Debian packages that are not there yet
#   start_xvfb:       a private virtual X display, stopped by its process id on exit

export LC_ALL=C
[[ ${TRACE:-} ]] && set -x

me=${0##*/}
say() { printf '==> %s\n' "$*" >&2; }
die() { printf '%s: %s\n' "$me" "$*" >&2; exit 1; }

# install_missing PACKAGE...: apt-get only what dpkg does not already have.
install_missing() {
    local pkg missing=()
    for pkg; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
    done
    ((${#missing[@]})) || return 0
    command -v apt-get >/dev/null || die "please install: ${missing[*]}"
    local sudo=()
    if ((EUID != 0)); then
        command -v sudo >/dev/null || die "run as root, or install: ${missing[*]}"
        sudo=(sudo)
    fi
    say "installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Cleanup for whatever this shell started: servers are stopped by their process id. Their
# logs, and what the programs printed, stay in the scratch folder when the script fails.
pids=()
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sdl2-window.XXXXXX")
cleanup() {
    local status=$? pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if ((status == 0 || status == 77)) || [[ -z $(ls -A "$scratch") ]]; then
        rm -rf "$scratch"
    else
        printf '%s: logs kept in %s\n' "$me" "$scratch" >&2
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# wait_until SECONDS WHAT COMMAND...: run COMMAND until it succeeds, or fail when SECONDS are up.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || { printf '%s: no %s after %ss\n' "$me" "$what" "$seconds" >&2; return 1; }
        sleep 0.05
    done
}

# start_xvfb: a private Xvfb on a display number that it picks free itself. Sets DISPLAY,
# xvfb_pid and xvfb_log, and points SDL2 at it alone: no fallback to another driver, nor to the
# caller's own display. The server is stopped on exit.
start_xvfb() {
    xvfb_log=$scratch/xvfb.log
    # -noreset: the server stays as it is when its last client leaves.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$scratch/display" 2>"$xvfb_log" &
    xvfb_pid=$!
    pids+=("$xvfb_pid")
    wait_until 10 "Xvfb (log: $xvfb_log)" test -s "$scratch/display" || return 1
    DISPLAY=:$(<"$scratch/display")
    export DISPLAY SDL_VIDEODRIVER=x11
    unset WAYLAND_DISPLAY
}

# start_wm: openbox on $DISPLAY, once its start-up is over (it runs --startup then): a window
# mapped while it is still starting may never be managed, and so never shown.
start_wm() {
    openbox --sm-disable --startup "touch $scratch/wm-ready" >"$scratch/wm.log" 2>&1 &
    pids+=($!)
    wait_until 10 "window manager (log: $scratch/wm.log)" test -e "$scratch/wm-ready"
}
