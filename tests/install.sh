#!/usr/bin/env bash
# What `cmake --install` lays out, into a DESTDIR: exactly the program, its docs and its man
# page, under the prefix asked for, with the README's and the pages' links resolving there.
#   install.sh PROGRAM BUILD_DIR
set -euo pipefail
build=$(realpath "$2")
cd "$(dirname "$0")/.."
source tests/lib.sh

prefix=/opt/sdl2-window
want=$(printf '%s\n' bin/sdl2-window share/doc/sdl2-window/{LICENSE,README.md} \
    docs/*.{md,png} share/man/man1/sdl2-window.1 | sed 's|^docs/|share/doc/sdl2-window/docs/|' | sort)
DESTDIR=$scratch/destdir cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" ||
    mismatch 'cmake --install' success "$(<"$scratch/install.log")"
got=$(files "$scratch/destdir$prefix")
[[ $got == "$want" ]] || mismatch "files under DESTDIR$prefix" "$want" "$got"
links_hold "$scratch/destdir$prefix/share/doc/sdl2-window"
verdict "cmake --install, DESTDIR"
verdicts
