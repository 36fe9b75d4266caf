#!/usr/bin/env bash
# The docs' tables hold the suites that read them: in a copy of the tree, each fault planted (a
# header renamed, this build's column unknown, a cell changed) fails the suite in CI, with a
# message that names it. CI runs it; it needs what the display and desktops suites need.
#   planted.sh PROGRAM BUILD_DIR
set -euo pipefail
build=$(realpath "$2")
cd "$(dirname "$0")/.."
program=$(realpath "$1")
source tests/lib.sh "$program"
[[ $sdl2_build ]] || die "no SDL2 column for $program: nothing to plant in"

# planted NAME SUITE FILE SED MESSAGE: SUITE, run in CI from a copy of the tree whose FILE the
# sed script SED changed, fails and says MESSAGE.
planted() {
    local copy=$scratch/tree status=0
    rm -rf "$copy"
    mkdir "$copy"
    cp -r scripts tests docs "$copy/"
    sed -i "$4" "$copy/$3"
    if cmp -s "$3" "$copy/$3"; then
        mismatch plant "a change to $3" "none made by: $4"
    else
        CI=true bash "$copy/tests/$2.sh" "$program" "$build" >"$scratch/$1.log" 2>&1 || status=$?
        ((status)) || mismatch "$2.sh" 'a failure' "a pass (log: $scratch/$1.log)"
        grep -qF -- "$5" "$scratch/$1.log" || mismatch "$2.sh's output" "$5" "$(tail -n 5 "$scratch/$1.log")"
    fi
    verdict "$1"
}

planted 'cases: header renamed' display docs/cases.md 's/^| Case |/| Cases |/' \
    'no table whose header starts with "Case"'
planted 'desktops: header renamed' desktops docs/desktops.md 's/^| Desktop |/| Desktops |/' \
    'no table whose header starts with "Desktop"'
planted 'cases: column unknown' display docs/cases.md "s/| $sdl2_build |/| SDL2 9.99 |/" \
    "no column \"$sdl2_build\""
planted 'desktops: column unknown' desktops docs/desktops.md "s/| $sdl2_build |/| SDL2 9.99 |/" \
    "no column \"$sdl2_build\""
# shellcheck disable=SC2016 # Markdown's backquotes
planted 'cases: a cell changed' display docs/cases.md \
    's/^| No display at all |.*/| No display at all |'"$(printf ' 1 at once: `planted` |%.0s' 1 2 3 4)"'/' \
    "docs/cases.md, $sdl2_build: No display at all"
verdicts
