#!/usr/bin/env bash
# What a user installs: `cmake --install` into a DESTDIR, and the package: the Debian one,
# checked by lintian, with its man page rendered, or on Windows the zip. Either is unpacked
# into a scratch root, and its program run on a private Xvfb.
#   install.sh PROGRAM BUILD_DIR
set -euo pipefail
program=$1 build=$(realpath "$2")
cd "$(dirname "$0")/.."
source tests/lib.sh

layout="bin/sdl2-window
share/doc/sdl2-window/LICENSE
share/doc/sdl2-window/README.md
share/man/man1/sdl2-window.1"
root=$scratch/root

# files ROOT: the files under ROOT, one relative path a line.
files() {
    (cd "$1" && find . -type f | sed 's|^\./||' | sort)
}

# installed NAME PREFIX: lays out exactly its files under DESTDIR and the prefix.
installed() {
    DESTDIR=$scratch/destdir cmake --install "$build" --prefix "$2" >"$scratch/install.log" ||
        mismatch 'cmake --install' success "$(<"$scratch/install.log")"
    [[ $(files "$scratch/destdir$2") == "$layout" ]] ||
        mismatch "files under DESTDIR$2" "$layout" "$(files "$scratch/destdir$2")"
    verdict "$1"
}

# zipped NAME: sdl2-window-VERSION-win64.zip, flat: the program, SDL2.dll and the documents.
zipped() {
    local zip want=$'LICENSE\nREADME.md\nSDL2.dll\nsdl2-window.exe'
    cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
        mismatch cpack success "failure (log: $scratch/cpack.log)"
    zip=$(compgen -G "$scratch/package/sdl2-window-*-win64.zip") || true
    [[ -f $zip ]] || mismatch zip 'sdl2-window-VERSION-win64.zip' "$(ls "$scratch/package")"
    mkdir "$root" && (cd "$root" && cmake -E tar xf "$zip")
    [[ $(files "$root") == "$want" ]] || mismatch 'files in the zip' "$want" "$(files "$root")"
    verdict "$1 (${zip##*/})"
}

# package NAME: built under the group-writable umask that Debian's users have; it must depend on
# SDL2 and leave lintian nothing to say. It is unpacked into $root.
package() {
    local deb depends lint
    (umask 002 && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package") \
        >"$scratch/cpack.log" 2>&1 || mismatch cpack success "failure (log: $scratch/cpack.log)"
    deb=$(compgen -G "$scratch/package/sdl2-window_*_$(dpkg --print-architecture).deb") || true
    if [[ -f $deb ]]; then
        depends=$(dpkg-deb -f "$deb" Depends)
        [[ $depends == *libsdl2-2.0-0* ]] || mismatch Depends 'libsdl2-2.0-0' "$depends"
        lint=$(lintian --fail-on none "$deb" 2>&1 | grep -E '^[EW]: ' || true)
        [[ -z $lint ]] || mismatch lintian 'no error or warning' "$lint"
        dpkg-deb -x "$deb" "$root"
    else
        mismatch package 'sdl2-window_VERSION_ARCH.deb' "$(ls "$scratch/package")"
    fi
    verdict "$1 (${deb##*/})"
}

# man_page NAME PAGE: renders without a warning, and carries the program's own texts.
man_page() {
    local warnings text want
    if [[ -f $2 ]]; then
        warnings=$(MANWIDTH=80 man --warnings -l "$2" 2>&1 >/dev/null || true)
        [[ -z $warnings ]] || mismatch warnings none "$warnings"
        text=$(MANWIDTH=1000 man -l "$2" 2>/dev/null || true)
        for want in '"An SDL2 window"' '"Could not create window:"' 'EXIT STATUS'; do
            grep -q "$want" <<<"$text" || mismatch text "$want in the page" 'not there'
        done
    else
        mismatch page "$2" missing
    fi
    verdict "$1"
}

need Xvfb
start_display
if [[ $windows ]]; then
    zipped 'zip'
    check 'zipped program, on Xvfb'        shown - - -- "${runner[@]}" "$root/sdl2-window.exe"
    verdicts
    exit
fi
need man cpack dpkg-deb dpkg-shlibdeps lintian
#         name                             what
installed 'cmake --install, DESTDIR'       /opt/sdl2-window
package   'Debian package'
man_page  'packaged man page'              "$root/usr/share/man/man1/sdl2-window.1.gz"
check     'packaged program, on Xvfb'      shown - - -- "$root/usr/bin/sdl2-window"

verdicts
