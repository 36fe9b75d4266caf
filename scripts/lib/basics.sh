# shellcheck shell=bash
# The basics that every script and suite sources first. It gives:
#   say, die, me:    step messages and errors, both on standard error; the script's name
#   cache:           the cache folder, kept from one run, and one clone, to the next
#   scratch, pids:   a scratch folder, and the servers to stop on exit by their process ids
#   together:        commands run side by side, the first to fail stopping the rest
#   exits:           commands that stop what a tool started itself (gpg's agent), run on exit
#   stopped:         SIGKILL for what outlives SIGTERM by 2 s
#   wait_until:      a command retried until it succeeds, with a deadline
#   path_without:    a PATH of this machine's commands but some, as on a system that lacks them
#   os_release:      a field of this machine's /etc/os-release
#   table_rows:      the rows of a Markdown table in the docs
#   project_version: the project's version, as CMakeLists.txt's project() writes it
#   package_version: the Debian package's, as the changelog's last entry writes it
#   title:           the window's title, which the scripts look for

# bash 5.1 or later (wait -p, empty arrays under set -u); macOS ships 3.2.
((BASH_VERSINFO[0] * 100 + BASH_VERSINFO[1] >= 501)) || {
    printf '%s: needs bash 5.1 or later, not %s: put one first on PATH (macOS: brew install bash)\n' \
        "${0##*/}" "$BASH_VERSION" >&2 && exit 1; }
export LC_ALL=C
# A failing command inside $(...) stops the script too.
shopt -s inherit_errexit
[[ ${TRACE:-} ]] && set -x

me=${0##*/}
# shellcheck disable=SC2034 # for the scripts that keep something there
cache=${XDG_CACHE_HOME:-$HOME/.cache}/sdl2-window
say() { printf '==> %s\n' "$*" >&2; }
die() { printf '%s: %s\n' "$me" "$*" >&2; exit 1; }
# shellcheck disable=SC2034 # for the scripts that look for it
title='An SDL2 window'

# os_release FIELD: the field of this machine's /etc/os-release, or nothing.
os_release() { # safe in conditions
    # shellcheck source=/dev/null # the machine's own; none, or none readable: nothing
    (. /etc/os-release 2>/dev/null || true; printf '%s\n' "${!1:-}")
}
# table_rows FILE FIRST: the rows of FILE's Markdown table headed FIRST, cells joined by "|", unquoted.
table_rows() {
    awk -F' *[|] *' -v first="$2" '$2 == first { on = 1; next } on && !/^[|]/ { exit }
        on && $2 !~ /^-+$/ { gsub(/`/, ""); row = $2; for (i = 3; i < NF; i++) row = row "|" $i; print row }' "$1"
}
project_version() { sed -n 's/^project(sdl2-window VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt; }
# package_version: the Debian package's version, as the changelog's last entry gives it.
package_version() { sed -n '1s/^sdl2-window (\([^)]*\)).*/\1/p' packaging/debian/changelog; }

# Cleanup: servers stopped by their process id (negative: the process group that one leads).
# Their logs, and what the programs printed, stay in the scratch folder when the script fails.
pids=() exits=()
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sdl2-window.XXXXXX")
cleanup() {
    local status=$? command left
    stop_pids
    for command in "${exits[@]}"; do eval "$command" >/dev/null 2>&1 || true; done
    left=$(ls -A "$scratch") || left=unreadable
    if ((status == 0 || status == 77)) || [[ -z $left ]]; then
        rm -rf "$scratch"
    else
        printf '%s: logs kept in %s\n' "$me" "$scratch" >&2
    fi
}
# stop_pids: each of pids stopped, and each process under it, listed before the first is stopped.
stop_pids() {
    local pid list below process
    for pid in "${pids[@]}"; do
        list=$(under "$pid")
        read -ra below <<<"$list"
        kill -- "$pid" "${below[@]}" 2>/dev/null || true
        wait "${pid#-}" 2>/dev/null || true
        for process in "$pid" "${below[@]}"; do stopped "$process"; done
    done
}
# stopped PID: SIGKILL for what is left of it 2 s after SIGTERM (mutter 51 outlives that).
stopped() {
    for _ in {1..20}; do kill -0 -- "$1" 2>/dev/null && sleep 0.1 || return 0; done
    kill -KILL -- "$1" 2>/dev/null || true
}
# under PID: the processes under PID, by their parents' process ids.
under() {
    local child
    [[ $1 != -* ]] || return 0
    for child in $(pgrep -P "$1"); do printf '%s ' "$child" && under "$child"; done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# together [-j N] COMMAND...: the commands (each a command line, as the shell reads one) run side
# by side, N at a time (or all), in their order, as jobs that an exit stops; the first that fails
# stops the rest, and the script, with its name. (wait -p: bash 5.1.)
together() {
    local most=0 finished names=() others=("${pids[@]}")
    [[ $1 != -j ]] || { most=$2 && shift 2; }
    while (($# || ${#names[@]})); do
        if (($#)) && ((most == 0 || ${#names[@]} < most)); then
            # (A job stops what it started when it is stopped, even by a signal to the whole process
            # group: an emulated root runs in a session of its own, which the signal misses.)
            # shellcheck disable=SC2030 # the job's own list; the script's stays as it was
            (pids=() && trap stop_pids EXIT && trap 'exit 143' TERM && eval "$1") & names[$!]=$1
            # shellcheck disable=SC2031 # the script's own list
            pids+=("$!")
            shift
            continue
        fi
        wait -n -p finished "${!names[@]}" || die "${names[finished]} failed"
        unset "names[finished]"
    done
    pids=("${others[@]}")
}

# wait_until SECONDS WHAT COMMAND...: COMMAND until it succeeds, or a failure once SECONDS (times
# SLOWDOWN, which the matrix sets under emulation) are up.
wait_until() { # safe in conditions
    local seconds=$(($1 * ${SLOWDOWN:-1})) what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || { printf '%s: no %s after %ss\n' "$me" "$what" "$seconds" >&2; return 1; }
        sleep 0.05
    done
}

# path_without FOLDER PATTERN...: makes FOLDER, with a link to every command on PATH but those
# that match, as a PATH of a system that lacks them.
path_without() {
    local dir pattern
    mkdir "$1"
    for dir in ${PATH//:/ }; do cp -sn "$dir"/* "$1" 2>/dev/null || true; done
    # shellcheck disable=SC2086 # the patterns are globs
    for pattern in "${@:2}"; do (cd "$1" && rm -f -- $pattern); done
}

