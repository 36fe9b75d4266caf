#!/usr/bin/env bash
# What a user installs: the man page as it renders, `cmake --install` with a prefix and with
# DESTDIR, and the Debian package, unpacked into a scratch root and run on a private display.
#   install.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
cd "$(dirname "$0")/.."
source scripts/lib.sh
need man cpack dpkg-deb dpkg-shlibdeps lintian readelf Xvfb

layout="bin/sdl2-window
share/doc/sdl2-window/LICENSE
share/doc/sdl2-window/README.md
share/man/man1/sdl2-window.1"
sections='NAME SYNOPSIS DESCRIPTION EXIT STATUS ENVIRONMENT EXAMPLES SEE ALSO BUGS'

# files ROOT: the files under ROOT, one relative path a line.
files() {
    (cd "$1" && find . -type f | sed 's|^\./||' | sort)
}
# no_runpath BINARY
no_runpath() {
    local found
    found=$(readelf -dW "$1" | grep -E 'RPATH|RUNPATH') && mismatch 'RPATH or RUNPATH' none "$found"
    return 0
}

# man_page NAME PAGE: renders with every warning on; none may come, and the page must carry
# its sections in order and the program's own texts.
man_page() {
    local warnings text
    [[ -f $2 ]] || mismatch page "$2" missing
    warnings=$(MANWIDTH=80 man --warnings -l "$2" 2>&1 >/dev/null)
    [[ -z $warnings ]] || mismatch warnings none "$warnings"
    text=$(MANWIDTH=1000 man -l "$2" 2>/dev/null)
    [[ $(grep -E '^[A-Z][A-Z ]+$' <<<"$text" | paste -sd' ') == "$sections" ]] ||
        mismatch sections "$sections" "$(grep -E '^[A-Z][A-Z ]+$' <<<"$text" | paste -sd' ')"
    local want
    for want in '"An SDL2 window"' '"Could not create window:"' SDL_VIDEODRIVER DISPLAY; do
        grep -q "$want" <<<"$text" || mismatch text "$want in the page" 'not there'
    done
    verdict "$1"
}

# installed NAME PREFIX [DESTDIR]: `cmake --install` lays out exactly the files it should.
installed() {
    local name=$1 prefix=$2 destdir=${3:-} root
    root=$destdir$prefix
    DESTDIR=$destdir cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" ||
        mismatch 'cmake --install' success "failure: $(<"$scratch/install.log")"
    [[ $(files "$root") == "$layout" ]] || mismatch "files under $root" "$layout" "$(files "$root")"
    [[ -x $root/bin/sdl2-window ]] && no_runpath "$root/bin/sdl2-window"
    verdict "$name"
}

# package NAME: builds the .deb, has lintian look at it, unpacks it and runs what it holds.
package() {
    local deb root=$scratch/root status=0 start ms
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" \
        >"$scratch/cpack.log" 2>&1 || mismatch cpack success "failure (log: $scratch/cpack.log)"
    local arch
    arch=$(dpkg --print-architecture)
    deb=$(compgen -G "$scratch/package/sdl2-window_*_$arch.deb") ||
        mismatch package "sdl2-window_VERSION_$arch.deb" "$(ls "$scratch/package")"
    if [[ -f $deb ]]; then
        local depends lint
        depends=$(dpkg-deb -f "$deb" Depends)
        [[ $depends == *libsdl2-2.0-0* ]] ||
            mismatch Depends 'libsdl2-2.0-0, from dpkg-shlibdeps' "$depends"
        lint=$(lintian --fail-on none "$deb" 2>&1 | grep -E '^[EW]: ' || true)
        [[ -z $lint ]] || mismatch lintian 'no error or warning' "$lint"
        dpkg-deb -x "$deb" "$root"
        no_runpath "$root/usr/bin/sdl2-window"
        start=$(now_ms)
        timeout -k 5 30 "$root/usr/bin/sdl2-window" >"$scratch/out" || status=$?
        ms=$(($(now_ms) - start))
        ((status == 0)) || mismatch 'packaged program' 'exit 0' "exit $status: $(<"$scratch/out")"
        ((ms >= 3000)) || mismatch 'packaged program' 'at least 3000 ms' "$ms ms"
    fi
    verdict "$1 (${deb##*/})"
}

start_xvfb || die "Xvfb did not start"
#         name                               where
man_page  'man page'                         docs/sdl2-window.1
installed 'cmake --install --prefix'         "$scratch/prefix"
installed 'cmake --install, DESTDIR'         /opt/sdl2-window "$scratch/destdir"
package   'Debian package, run on Xvfb'
man_page  'packaged man page'                "$scratch/root/usr/share/man/man1/sdl2-window.1.gz"

verdicts
