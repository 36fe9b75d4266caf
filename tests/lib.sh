# shellcheck shell=bash
# What the suites share, on top of scripts/lib.sh: tool checks, verdicts, and a run judged by
# the outcome that its case expects. Source it from the repository root.
source scripts/lib.sh

# A Windows program runs under RUNNER (Wine), and its C runtime ends a line with "\r\n".
read -ra runner <<<"${RUNNER:-}"
windows='' eol=$'\n'
[[ ${program:-} == *.exe ]] && windows=1 eol=$'\r\n'
# Under the sanitizers, the program runs with KEEP_LOADED preloaded after their runtimes.
sanitizers=
[[ $windows || -z ${program:-} ]] ||
    sanitizers=$(ldd "$program" | awk '$1 ~ /^lib(asan|ubsan)\./ {printf "%s:", $3}')

# need TOOL...: without them the suite is skipped (status 77), but in CI it fails.
need() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null && continue
        [[ ${CI:-} ]] && die "$tool is missing"
        printf '%s: no %s, skipped (./scripts/test installs it)\n' "$me" "$tool" >&2 && exit 77
    done
}

# mismatch collects a case's problems, verdict prints "ok" or "FAIL" with each, verdicts ends.
problems=()
failures=0
mismatch() {
    local indent=$'\n            '
    problems+=("$1"$'\n  expected: '"${2//$'\n'/$indent}"$'\n  got:      '"${3//$'\n'/$indent}")
}
verdict() {
    local problem
    for problem in "${problems[@]}"; do
        printf 'FAIL %s: %s\n' "$1" "$problem"
    done
    ((${#problems[@]})) && failures=$((failures + 1)) || printf 'ok   %s\n' "$1"
    problems=()
}
verdicts() { ((failures == 0)) || die "$failures case(s) failed"; }

# start_display: a private Xvfb. Under Wine, SDL2's own driver on it, and no Wine server left
# over from an earlier display.
start_display() {
    start_xvfb || die "Xvfb did not start"
    [[ $windows ]] || return 0
    unset SDL_VIDEODRIVER
    wineserver -k 2>/dev/null || true
}

# judge OUTCOME: the run that has just ended (status, ms, out), by what a user must see.
#   shown    exit 0, nothing on standard output, after at least the 3000 ms pause
#   line     exit 1 and one line: the failure prefix and the library's reason
#   refused  that line, at once, without the pause
#   lost     exit 1 and nothing printed: Xlib's end when the X server goes away, or a script's
#   hangs    still waiting when its time (limit, in s) is up, and stopped: where a library waits
#            for ever
#   sometimes  shown, or hangs: where a race in a library decides
judge() {
    case $1:$status in
    sometimes:124 | sometimes:137) ;;
    sometimes:*) judge shown ;;
    hangs:*) ((status == 124 || status == 137)) || mismatch status "124 or 137: stopped after ${limit}s" "$status" ;;
    shown:*)
        ((status == 0)) || mismatch status 0 "$status (stderr: $(tail -c 300 "$scratch/err"))"
        [[ -z $out ]] || mismatch stdout nothing "$(printf %q "$out")"
        ((ms >= 3000)) || mismatch 'run time' 'at least 3000 ms' "$ms ms"
        ;;
    lost:*)
        ((status == 1)) || mismatch status 1 "$status"
        [[ -z $out ]] || mismatch stdout nothing "$(printf %q "$out")"
        ;;
    *)
        ((status == 1)) || mismatch status 1 "$status"
        [[ $out =~ ^'Could not create window: '[^$'\r\n']+$eol$ ]] ||
            mismatch stdout "the failure line, ending $(printf %q "$eol")" "$(printf %q "$out")"
        [[ $1 != refused ]] || ((ms < 3000)) || mismatch 'run time' 'at once, no pause' "$ms ms"
        ;;
    esac
}

# check NAME OUTCOME DURING AFTER [ENV_ARGUMENT...] [-- COMMAND...]
#   Runs COMMAND (the program by default) under env with those arguments, for limit seconds at
#   most, calls DURING while it runs and AFTER once it has ended ('-' for neither), and judges
#   the run by OUTCOME.
limit=30
check() {
    local name=$1 outcome=$2 during=$3 after=$4 settings=() start
    shift 4
    while (($#)) && [[ $1 != -- ]]; do
        settings+=("$1") && shift
    done
    (($#)) && shift
    if ((!$#)); then
        set -- "${runner[@]}" "$program"
        [[ -z $sanitizers ]] || settings+=("LD_PRELOAD=$sanitizers${KEEP_LOADED:-}")
    fi
    start=${EPOCHREALTIME/./}
    timeout -k 5 "$limit" env "${settings[@]}" "$@" >"$scratch/out" 2>"$scratch/err" &
    pid=$!
    [[ $during == - ]] || "$during"
    status=0
    wait "$pid" || status=$?
    ms=$(((${EPOCHREALTIME/./} - start) / 1000))
    out=$(cat "$scratch/out" && printf .) && out=${out%.}
    judge "$outcome"
    [[ $after == - ]] || "$after"
    verdict "$name ($ms ms, exit $status)"
}
