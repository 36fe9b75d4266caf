#!/usr/bin/env bash
# What a user installs as a package, built as it ships from a copy of the tree with this build's
# compiler: on Windows the zip, by CPack; elsewhere the Debian package, by dpkg-buildpackage.
# Each checked with the distribution's tools, built again to the same bytes, and run on a
# private Xvfb. Without Debian's package tools it is skipped, and says so.
#   package.sh PROGRAM BUILD_DIR
set -euo pipefail
build=$(realpath "$2")
cd "$(dirname "$0")/.."
source tests/lib.sh "$1"
if [[ $windows ]]; then skip_without cpack; else skip_without dpkg-buildpackage dh lintian man; fi
skip_without Xvfb
root=$scratch/root
cache=$(grep -E '^(CMAKE_BUILD_TYPE|CMAKE_TOOLCHAIN_FILE|CMAKE_CXX_COMPILER|SDL2_DIR|SDL2_WINDOW_[A-Z]+):' \
    "$build/CMakeCache.txt")
mapfile -t settings <<<"$cache"
settings=("${settings[@]/#/-D}")
# What the package is, and where the program is in it.
made_glob='sdl2-window_*.deb' in_package=usr/bin/sdl2-window
[[ -z $windows ]] || made_glob='sdl2-window*.zip' in_package=sdl2-window.exe
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")

# build_package FOLDER UMASK: the package, built under UMASK in FOLDER/sdl2-window from a copy
# of the tree (group-writable where GROUP_WRITABLE is set), into FOLDER; sets made to its path.
build_package() {
    local tree=$1/sdl2-window umask
    umask=$(umask)
    mkdir -p "$tree"
    tar -cf - --exclude='./build*' --exclude=./dist --exclude=./.git . | tar -xf - -C "$tree"
    [[ -z ${GROUP_WRITABLE:-} ]] || chmod -R g+w "$tree"
    umask "$2"
    if [[ $windows ]]; then
        (cd "$tree" && cmake -S . -B build "${settings[@]}" -DBUILD_TESTING=OFF && cmake --build build &&
            cpack --config build/CPackConfig.cmake -B ..)
    else
        cp -r packaging/debian "$tree/debian"
        # (With a packager's own fortification level, which the build must keep.)
        (cd "$tree" && CXX=$compiler DEB_CPPFLAGS_STRIP=-D_FORTIFY_SOURCE=2 \
            DEB_CPPFLAGS_APPEND=-D_FORTIFY_SOURCE=3 dpkg-buildpackage -b -uc -us)
    fi >"$1.log" 2>&1 || mismatch 'package built' success "failure (log: $1.log)"
    umask "$umask"
    made=$(compgen -G "$1/$made_glob") || made=none
}

# The package, built under umask 002, unpacked into $root: a Debian package depends on SDL2 and
# the OpenGL and EGL libraries that it opens, leaves lintian nothing to say, and has a man page
# that renders without a warning; the zip holds exactly its files; in both the links resolve.
build_package "$scratch/first" 002
first=$made
[[ -f $first ]] || { verdict package && verdicts; }
if [[ $windows ]]; then
    mkdir "$root" && (cd "$root" && cmake -E tar xf "$first")
    want=$(printf '%s\n' LICENSE README.md SDL2.dll licenses/SDL2/{LICENSE.txt,NOTICES.txt} \
        licenses/{gcc,mingw-w64}/copyright sdl2-window.exe docs/*.{md,png} | sort)
    got=$(files "$root")
    [[ $got == "$want" ]] || mismatch zip "$want" "$got"
    links_hold "$root"
else
    depends=$(dpkg-deb -f "$first" Depends)
    [[ $depends == *libsdl2-2.0-0* && $depends == *libgl1* && $depends == *libegl1* ]] ||
        mismatch Depends 'libsdl2-2.0-0, libgl1 and libegl1' "$depends"
    lint=$(lintian --pedantic -I "$first" 2>/dev/null) || lint+=" (lintian failed)"
    [[ -z $lint ]] || mismatch lintian 'no tag' "$lint"
    fortify=$(grep -E -- ' -c .*src/main\.cpp' "$scratch/first.log" | grep -oE -- '-[DU] ?_FORTIFY_SOURCE(=[0-9]+)?' |
        tail -n 1) || fortify=none
    [[ $fortify == -D_FORTIFY_SOURCE=3 ]] || mismatch "packager's _FORTIFY_SOURCE" -D_FORTIFY_SOURCE=3 "$fortify"
    dpkg-deb -x "$first" "$root"
    links_hold "$root/usr/share/doc/sdl2-window"
    page=$root/usr/share/man/man1/sdl2-window.1.gz
    lint=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || lint="missing: $page"
    [[ -z $lint ]] || mismatch 'man page' 'rendered without a warning' "$lint"
    manual=$(MANWIDTH=200 man -l "$page" 2>/dev/null) || manual="(man failed)"
    [[ $manual == *"\"$title\""* ]] || mismatch 'man page' "the title \"$title\" in it" 'not there'
fi
verdict "package (${first##*/})"

# Built again, later, from a copy whose files are group-writable, at the same path (Clang
# records it), under umask 022, another time zone and locale: the same bytes.
mv "$scratch/first" "$scratch/kept"
first=$scratch/kept/${first##*/}
GROUP_WRITABLE=1 TZ=Asia/Tokyo LC_ALL=C.UTF-8 build_package "$scratch/first" 022
differ='cmp'
command -v diffoscope >/dev/null && differ=diffoscope
cmp -s "$first" "$made" || mismatch "${first##*/}, built again" 'the same bytes' "$($differ "$first" "$made" 2>&1)"
verdict 'package, built again'

start_display
check 'packaged program, on Xvfb' shown - - -- "${runner[@]}" "$root/$in_package"
verdicts
