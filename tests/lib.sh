# shellcheck shell=bash
# What the suites share, on top of scripts/lib/basics.sh and displays.sh: tool checks, verdicts,
# this SDL2 build's name in the docs' tables, and a run judged by the outcome that its case
# expects or by its cell in docs/cases.md. Source it from the repository root, with the program
# under test, if any: source tests/lib.sh [PROGRAM]. It gives:
#   program, runner, windows, eol, sanitizers: the program; for a Windows one, the command that
#                  runs it (RUNNER: Wine), "1" and the end of its lines; the sanitizers it links
#   sdl2_build:    this program's SDL2 build, as the docs' tables name it
#   table_index:   a table of the docs as the suite's: doc, header, index and first_cells
#   skip_without, files, links_hold, start_display: see each
#   mismatch, verdict, verdicts: a case's problems; its verdict; the suite's end (failures)
#   check:         one run, judged; it leaves status, ms and out (standard output; the scratch
#                  folder's out and err) behind, and pid, the run's, for DURING. limit, its
#                  deadline in seconds (30, times SLOWDOWN), is the suite's to change.
program=${1:-}
source scripts/lib/basics.sh
source scripts/lib/displays.sh

# A Windows program runs under RUNNER (Wine), and its C runtime ends a line with "\r\n".
read -ra runner <<<"${RUNNER:-}"
windows='' eol=$'\n'
[[ $program == *.exe ]] && windows=1 eol=$'\r\n'
# Under the sanitizers, the program runs with KEEP_LOADED preloaded after their runtimes.
sanitizers=
if [[ -z $windows && $program ]]; then
    sanitizers=$(ldd "$program")
    sanitizers=$(awk '$1 ~ /^lib(asan|ubsan)\./ {printf "%s:", $3}' <<<"$sanitizers")
fi

# linked_sdl2_build: this program's SDL2 build as the docs' tables name it, "SDL2 2.26", or "SDL2 on
# SDL 3.4" for the compatibility layer; nothing under Wine, whose cases are its own.
linked_sdl2_build() { # safe in conditions
    [[ -z $windows && $program ]] || return 0
    local sdl2 sdl3 build
    sdl2=$(ldd "$program") || return
    sdl2=$(awk '$1 ~ /^libSDL2-2/ {print $3}' <<<"$sdl2") || return
    sdl2=$(realpath -e "$sdl2") || return
    if grep -q libSDL3 "$sdl2"; then
        sdl3=$(compgen -G "${sdl2%/*}/libSDL3.so.0" || compgen -G "${sdl2%/*}/../libSDL3.so.0") || return
        sdl3=$(realpath -e "$sdl3") || return
        sdl3=${sdl3##*.so.0.} build="SDL2 on SDL 3.${sdl3%%.*}"
    else
        sdl2=${sdl2##*.so.0.} build="SDL2 2.$((${sdl2%%.*} / 100))"
    fi
    echo "$build"
}
sdl2_build=$(linked_sdl2_build) || die "cannot tell which SDL2 $program runs on"
[[ -z $sdl2_build || $sdl2_build =~ ^SDL2\ (2|on\ SDL\ 3)\.[0-9]+$ ]] || die "cannot tell which SDL2 $program runs on: '$sdl2_build'"

# table_index TABLE FIRST: TABLE's table, whose header's first cell is FIRST, as the suite's
# (sets doc, header, its header's line number, and first_cells, its rows' first cells), and the field of
# this build's column in it (sets index; 0 where there is none, and the suite prints what it
# measured, or fails in CI, where every cell is judged). A table without that header or without
# rows fails at once.
table_index() {
    local found
    found=$(awk -F' *[|] *' -v first="$2" -v column="$sdl2_build" '
        $2 == first { for (i = 3; i < NF; i++) if ($i == column) c = i; print c + 0, NR; on = 1; next }
        on && !/^\|/ { exit }
        on && $2 !~ /^-+$/ { print $2 }' "$1") || die "cannot read $1"
    doc=$1
    [[ $found ]] || die "$doc: no table whose header starts with \"$2\""
    mapfile -t first_cells <<<"$found"
    read -r index header <<<"${first_cells[0]}"
    first_cells=("${first_cells[@]:1}")
    ((${#first_cells[@]})) || die "$doc: no rows under its header"
    ((index)) || [[ -z ${CI:-} ]] || die "$doc: no column \"$sdl2_build\", and in CI every cell is judged"
}

# skip_without TOOL...: without them the suite is skipped (77), naming those it lacks; CI fails.
skip_without() {
    local tool missing=()
    for tool; do command -v "$tool" >/dev/null || missing+=("$tool"); done
    ((${#missing[@]})) || return 0
    [[ -z ${CI:-} ]] || die "missing: ${missing[*]}"
    printf '%s: skipped: it needs %s, which this system lacks\n' "$me" "${missing[*]}" >&2
    exit 77
}

# files FOLDER: the files under it, sorted. links_hold FOLDER: the docs' links resolve there.
files() { # safe in conditions
    local found
    found=$(cd "$1" && find . -type f -printf '%P\n') || return
    sort <<<"$found"
}
links_hold() {
    scripts/links "$1" 2>"$scratch/links.log" || mismatch links 'all resolving' "$(<"$scratch/links.log")"
}

# mismatch collects a case's problems, verdict prints "ok" or "FAIL" with each, verdicts ends.
problems=() failures=0
mismatch() { # safe in conditions
    local indent=$'\n            '
    problems+=("$1"$'\n  expected: '"${2//$'\n'/$indent}"$'\n  got:      '"${3//$'\n'/$indent}")
}
verdict() { # safe in conditions
    local problem
    for problem in "${problems[@]}"; do
        printf 'FAIL %s: %s\n' "$1" "$problem" || return
    done
    if ((${#problems[@]})); then failures=$((failures + 1)); else printf 'ok   %s\n' "$1" || return; fi
    problems=()
}
verdicts() {
    if ((${#measured_rows[@]})); then
        printf '%s: not judged, as %s has nothing for "%s" there; measured here, ready to add:\n' \
            "$me" "$doc" "$sdl2_build"
        printf '%s\n' "${measured_rows[@]}"
        [[ -z ${CI:-} ]] || die "in CI every cell is judged: these were not"
    fi
    ((failures == 0)) || die "$failures case(s) failed"
}

# start_display: a private Xvfb; under Wine, SDL2's own driver, and no Wine server left over.
start_display() {
    start_xvfb || die "Xvfb did not start"
    [[ -z $windows ]] || { unset SDL_VIDEODRIVER; wineserver -k 2>/dev/null || true; }
}

# A run that ended in less than the pause, 3000 ms, did not pause. Under emulation (SLOWDOWN)
# the start alone can take longer (3201 ms, to an EGL that cannot start): there "at once" is a
# deadline, times SLOWDOWN, like the others, and the amd64 rows judge it to the millisecond.
at_once=$((3000 * ${SLOWDOWN:-1}))

# judge OUTCOME: the run that has just ended (status, ms, out), by what a user must see.
#   shown    exit 0, nothing on standard output, after at least the 3000 ms pause
#   line     exit 1 and one line: the failure prefix and the library's reason
#   refused  that line, at once, without the pause
#   lost     exit 1 and nothing printed: Xlib's end when the X server goes away, or a script's
#   hangs    still waiting, and stopped, when its time (limit, in s) is up: a library waits for ever
#   sometimes  shown, or hangs: where a race in a library decides
#   case:ROW   what ROW's cell of docs/cases.md says for this build (held)
judge() {
    case $1:$status in
    case:*) held "${1#case:}" ;;
    sometimes:124 | sometimes:137) ;;
    sometimes:*) judge shown ;;
    hangs:*) ((status == 124 || status == 137)) || mismatch status "124 or 137: stopped after $((limit * ${SLOWDOWN:-1}))s" "$status" ;;
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
        [[ $1 != refused ]] || ((ms < at_once)) || mismatch 'run time' "at once, under $at_once ms" "$ms ms"
        ;;
    esac
}

# cell ROW: this build's cell of that row of the table (docs/cases.md says how a cell reads).
cell() {
    awk -F' *[|] *' -v row="$1" -v c="$index" -v header="$header" 'c && NR > header && $2 == row { print $c; exit }' "$doc"
}
# held ROW: the run against its cell; without a column, what was measured, in the table's own
# words, for verdicts to print.
measured_rows=() rows_run=()
held() {
    local expected got ok=1 text
    expected=$(cell "$1")
    got=$(measured)
    if [[ -z $expected ]]; then
        ((index == 0)) || { mismatch "$doc: row '$1'" 'a row, with a cell' none && return; }
        [[ " ${measured_rows[*]} " == *"| $1 |"* ]] || measured_rows+=("| $1 | $got |")
        return
    fi
    [[ $status == "${expected%%[!0-9]*}" ]] || ok=
    [[ $expected != *'at once'* ]] || ((ms < at_once)) || ok=
    [[ $expected != *'after the pause'* ]] || ((ms >= 3000)) || ok=
    text='' && [[ $expected =~ \`([^\`]*)\` ]] && text=${BASH_REMATCH[1]}
    if [[ $expected == *'standard error'* ]]; then
        [[ -z $out ]] && any_line_like "$text" <"$scratch/err" || ok=
    elif [[ $status == 1 && $text ]]; then
        [[ $out == *"$eol" && ${out%"$eol"} != *$'\n'* ]] && like "${out%"$eol"}" "Could not create window: $text" || ok=
    else
        [[ -z $out ]] || ok=
    fi
    [[ $ok ]] || mismatch "$doc, $sdl2_build: $1" "$expected" "$got"
}
# like LINE TEXT: LINE is TEXT, or starts with it where TEXT ends in "…".
like() { # safe in conditions
    if [[ $2 == *… ]]; then [[ $1 == "${2%…}"* ]]; else [[ $1 == "$2" ]]; fi
}
any_line_like() { # safe in conditions
    local line
    while IFS= read -r line; do
        like "$line" "$1" && return
    done
    return 1
}
# measured: the run that has just ended, as a cell would say it.
measured() {
    local when='at once' reason
    ((ms < 3000)) || when='after the pause'
    if [[ $status == 1 && $out == 'Could not create window: '*"$eol" ]]; then
        reason=${out#Could not create window: } && echo "1 $when: \`${reason%"$eol"}\`"
    elif [[ $status == 1 && -z $out ]]; then
        reason=$(grep -m 1 '^X' "$scratch/err" || head -n 1 "$scratch/err")
        echo "1 $when, nothing on standard output; on standard error: \`$reason\`"
    else
        echo "$status $when${out:+, printing $(printf %q "$out")}"
    fi
}

# check NAME OUTCOME DURING AFTER [ENV_ARGUMENT...] [-- COMMAND...]: COMMAND (the program by
#   default) under env, for limit seconds (times SLOWDOWN) at most, DURING while it runs and AFTER once it has
#   ended ('-' for neither), the run judged by OUTCOME.
limit=30
check() {
    local name=$1 outcome=$2 during=$3 after=$4 settings=() start expected
    shift 4
    if [[ $outcome == case:* ]]; then
        rows_run+=("${outcome#case:}")
        # A case that cannot arise on this build, as its cell says.
        expected=$(cell "${outcome#case:}")
        [[ $expected != -* ]] || { verdict "$name: $expected" && return; }
    fi
    while (($#)) && [[ $1 != -- ]]; do settings+=("$1") && shift; done
    (($#)) && shift
    if ((!$#)); then
        set -- "${runner[@]}" "$program"
        [[ -z $sanitizers ]] || settings+=("LD_PRELOAD=$sanitizers${KEEP_LOADED:-}")
    fi
    start=${EPOCHREALTIME/./}
    timeout -k 5 "$((limit * ${SLOWDOWN:-1}))" env "${settings[@]}" "$@" >"$scratch/out" 2>"$scratch/err" &
    pid=$!
    [[ $during == - ]] || "$during"
    status=0
    wait "$pid" || status=$?
    ms=$(((${EPOCHREALTIME/./} - start) / 1000))
    out=$(cat "$scratch/out" && printf .)
    out=${out%.}
    judge "$outcome"
    [[ $after == - ]] || "$after"
    verdict "$name ($ms ms, exit $status)"
}
