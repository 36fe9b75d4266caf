#!/usr/bin/env bash
# What a user installs as a package: CPack's (the Debian one, or on Windows the flat zip),
# checked with the distribution's own tools, built again to the same bytes, unpacked into a
# scratch root and its program run on a private Xvfb. Without Debian's package tools it is
# skipped, and says so.
#   package.sh PROGRAM BUILD_DIR
set -euo pipefail
program=$1 build=$(realpath "$2")
cd "$(dirname "$0")/.."
source tests/lib.sh
[[ $windows ]] || skip_without dpkg dpkg-deb dpkg-shlibdeps lintian man
skip_without Xvfb cpack
root=$scratch/root

# package NAME FILE: CPack's package, built under the group-writable umask that Debian's users
# have, and unpacked into $root. A Debian package must depend on SDL2, leave lintian nothing to
# say and carry a man page that renders without a warning; the zip holds exactly its files;
# and in both the README's and the pages' links resolve.
package() {
    local lint depends page=$root/usr/share/man/man1/sdl2-window.1.gz
    (umask 002 && cpack --config "$build/CPackConfig.cmake" -B "$scratch/package") \
        >"$scratch/cpack.log" 2>&1 || mismatch cpack success "failure (log: $scratch/cpack.log)"
    package_file=$(compgen -G "$scratch/package/$2") || true
    package_file=${package_file##*/}
    [[ -n $package_file ]] || mismatch package "$2" "$(ls "$scratch/package")"
    if [[ $package_file == *.zip ]]; then
        mkdir "$root" && (cd "$root" && cmake -E tar xf "../package/$package_file")
        local want
        want=$(printf '%s\n' LICENSE README.md SDL2.dll licenses/SDL2/{LICENSE.txt,NOTICES.txt} \
            licenses/{gcc,mingw-w64}/copyright sdl2-window.exe docs/*.{md,png,1} | sort)
        [[ $(files "$root") == "$want" ]] || mismatch zip "$want" "$(files "$root")"
        links_hold "$root"
    elif [[ $package_file == *.deb ]]; then
        # SDL2, and the OpenGL and EGL libraries that it opens when it runs.
        depends=$(dpkg-deb -f "$scratch/package/$package_file" Depends)
        [[ $depends == *libsdl2-2.0-0* && $depends == *libgl1* && $depends == *libegl1* ]] ||
            mismatch Depends 'libsdl2-2.0-0, libgl1 and libegl1' "$depends"
        lint=$(lintian --fail-on none "$scratch/package/$package_file" 2>&1 | grep -E '^[EW]: ' || true)
        [[ -z $lint ]] || mismatch lintian 'no error or warning' "$lint"
        dpkg-deb -x "$scratch/package/$package_file" "$root"
        links_hold "$root/usr/share/doc/sdl2-window"
        lint=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || lint="missing: $page"
        [[ -z $lint ]] || mismatch 'man page' 'rendered without a warning' "$lint"
        MANWIDTH=200 man -l "$page" 2>/dev/null | grep -q '"An SDL2 window"' ||
            mismatch 'man page' 'the title "An SDL2 window" in it' 'not there'
    fi
    verdict "$1 ($package_file)"
}

# built_again NAME FILE: the package of FILE built afresh from a copy of the tree whose files are
# group-writable, as a checkout made under umask 002 is, in another folder, with another
# umask, time zone and locale, and later: the same bytes. Clang records its whole command line
# in the binary, the tree's path with it, and the link's build-id follows that record: where the
# program holds the path, the package is built again from the same tree.
built_again() {
    local settings tree=$scratch/tree
    if readelf -p .GCC.command.line "$program" 2>/dev/null | grep -qF "$PWD"; then
        tree=$PWD
    else
        mkdir "$tree"
        tar -cf - --exclude='./build*' --exclude=./dist --exclude=./.git . | tar -xf - -C "$tree"
        chmod -R g+w "$tree"
    fi
    # The copy has no git: the time that the first build took from it, given.
    local epoch
    epoch=$(sed -n 's/^set(CPACK_SDL2_WINDOW_EPOCH "\([0-9]*\)")$/\1/p' "$build/CPackConfig.cmake")
    mapfile -t settings < <(grep -E '^(CMAKE_BUILD_TYPE|CMAKE_TOOLCHAIN_FILE|CMAKE_CXX_COMPILER|SDL2_DIR|SDL2_WINDOW_[A-Z]+):' \
        "$build/CMakeCache.txt" | sed 's/^/-D/')
    (umask 022 && export TZ=Asia/Tokyo LC_ALL=C.UTF-8 SOURCE_DATE_EPOCH=$epoch && cd "$scratch" && cmake -S "$tree" -B again \
        "${settings[@]}" -DBUILD_TESTING=OFF && cmake --build again && cpack --config again/CPackConfig.cmake -B again) \
        >"$scratch/again.log" 2>&1 || mismatch 'built again' success "failure (log: $scratch/again.log)"
    local files=("$scratch/package/$2" "$scratch/again/$2") differ=cmp
    command -v diffoscope >/dev/null && differ=diffoscope
    cmp -s "${files[@]}" || mismatch "$2, built again" 'the same bytes' "$($differ "${files[@]}" 2>&1)"
    verdict "$1"
}

start_display
if [[ $windows ]]; then
    package 'zip' 'sdl2-window-*-win64.zip'
    built_again 'zip, built again' "$package_file"
    check 'packaged program, on Xvfb' shown - - -- "${runner[@]}" "$root/sdl2-window.exe"
else
    package 'Debian package' "sdl2-window_*_$(dpkg --print-architecture).deb"
    built_again 'Debian package, built again' "$package_file"
    check 'packaged program, on Xvfb' shown - - -- "$root/usr/bin/sdl2-window"
fi
verdicts
