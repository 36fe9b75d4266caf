# shellcheck shell=bash
# Shell helpers shared by the scripts and the test suites. Source it; it does not run by itself.
#   say, die:         step messages and errors, both on standard error
#   require:          finds what a step needs, or installs it, or names what is missing
#   start_xvfb:       a private virtual X display, stopped by its process id on exit
#   start_weston:     a private Weston, nested or headless, stopped the same way
#   start_desktop:    a Wayland desktop with Xwayland, in a session of its own

# bash 4.4 or later (empty arrays under set -u, ${NAME,,}); macOS ships 3.2.
if ((BASH_VERSINFO[0] * 100 + BASH_VERSINFO[1] < 404)); then
    printf '%s: needs bash 4.4 or later, and this is bash %s: install a newer one (on macOS,\n' \
        "${0##*/}" "$BASH_VERSION" >&2
    printf '  brew install bash) and put it first on PATH\n' >&2
    exit 1
fi
export LC_ALL=C
[[ ${TRACE:-} ]] && set -x

me=${0##*/}
say() { printf '==> %s\n' "$*" >&2; }
die() { printf '%s: %s\n' "$me" "$*" >&2; exit 1; }

# What the scripts use: the step that wants it, how it is found here, and the packages that
# bring it: Debian's (a comma-separated list, installed with apt-get where apt is), then dnf's,
# pacman's, zypper's, apk's and brew's ('-': none there). Found by: commands, all of them on
# PATH; pc:MODULE, pkg-config's module or, for SDL2, its CMake package too; dpkg, Debian's
# packages, which only dpkg can tell (without it they are taken to be there). A leading '?':
# wanted where the system has it, and never a reason to stop (the suites that need it skip).
needs='
cmake      build    cmake             cmake              cmake        cmake            cmake     cmake   cmake
c++        build    c++               g++                gcc-c++      gcc              gcc-c++   g++     -
make       build    make              make               make         make             make      make    -
pkg-config build    pkg-config        pkg-config         pkgconf-pkg-config pkgconf    pkg-config pkgconf pkgconf
SDL2       build    pc:sdl2           libsdl2-dev        SDL2-devel   sdl2             libSDL2-devel sdl2-dev sdl2
Mesa       show     dpkg              libgl1,libglx-mesa0,libgl1-mesa-dri,libegl1,libegl-mesa0 mesa-dri-drivers mesa Mesa-dri mesa-dri-gallium -
Xvfb       xvfb     Xvfb              xvfb               xorg-x11-server-Xvfb xorg-server-xvfb xorg-x11-server-Xvfb xvfb -
openbox    xvfb     openbox           openbox            openbox      openbox          openbox   openbox -
xdotool    xvfb     xdotool           xdotool            xdotool      xdotool          xdotool   xdotool xdotool
scrot      xvfb     scrot             scrot              scrot        scrot            scrot     scrot   -
fonts      xvfb     dpkg              fonts-dejavu-core  dejavu-sans-fonts ttf-dejavu  dejavu-fonts font-dejavu -
x11-utils  suites   xprop,xdpyinfo    x11-utils          xprop,xdpyinfo xorg-xprop,xorg-xdpyinfo xprop,xdpyinfo xprop,xdpyinfo -
wmctrl     suites   wmctrl            wmctrl             wmctrl       wmctrl           wmctrl    wmctrl  -
weston     suites   weston            weston             weston       weston           weston    weston  -
Xwayland   suites   Xwayland          xwayland           xorg-x11-server-Xwayland xorg-xwayland xwayland xwayland -
binutils   suites   readelf           binutils           binutils     binutils         binutils  binutils binutils
man        suites   man,nroff         man-db,groff-base  man-db,groff man-db,groff     man,groff mandoc,groff man-db
dpkg-dev   package  ?dpkg-deb,dpkg-shlibdeps dpkg-dev    dpkg-dev     dpkg             dpkg      dpkg    dpkg
file       package  file              file               file         file             file      file    -
lintian    package  ?lintian          lintian            lintian      -                -         -       -
dbus       suites   dbus-run-session  dbus               dbus-tools   dbus             dbus-1    dbus    -
mutter     desktops ?mutter           mutter             mutter       mutter           mutter    mutter  -
KWin       desktops ?kwin_wayland     kwin-wayland       kwin         kwin             kwin6     kwin    -
sway       desktops ?sway             sway               sway         sway             sway      sway    -
labwc      desktops ?labwc            labwc              labwc        labwc            labwc     labwc   -
xwd        pictures xwd               x11-apps           xwd          xorg-xwd         xwd       xwd     -
netpbm     pictures xwdtopnm,pamcut,pnmquant,pnmtopng netpbm netpbm-progs netpbm    netpbm    netpbm  netpbm
Breeze     pictures ?dpkg             kwin-style-breeze  plasma-breeze breeze          breeze6   -       -
clang      clang    clang++           clang              clang        clang            clang     clang   llvm
MinGW-w64  windows  x86_64-w64-mingw32-g++,x86_64-w64-mingw32-objdump g++-mingw-w64-x86-64,binutils-mingw-w64-x86-64 mingw64-gcc-c++ mingw-w64-gcc mingw64-cross-gcc-c++ - mingw-w64
zip        windows  zip               zip                zip          zip              zip       zip     zip
Wine       windows  wine              wine,wine64        wine         wine             wine      -       -
Xlib       bench    pc:x11            libx11-dev         libX11-devel libx11           libX11-devel libx11-dev libx11
linters    lint     clang-format,clang-tidy,cppcheck,shellcheck clang-format,clang-tidy,cppcheck,shellcheck clang-tools-extra,cppcheck,ShellCheck clang,cppcheck,shellcheck clang-tools,cppcheck,ShellCheck clang-extra-tools,cppcheck,shellcheck llvm,cppcheck,shellcheck
node       lint     node,npm          nodejs,npm         nodejs,npm   nodejs,npm       nodejs,npm nodejs,npm node
rpm        rpm      rpmbuild,rpmlint  rpm,rpmlint        rpm-build,rpmlint rpm-tools,rpmlint rpm-build,rpmlint - -
unzip      release  unzip             unzip              unzip        unzip            unzip     unzip   unzip
debootstrap matrix  debootstrap       debootstrap        debootstrap  debootstrap      debootstrap debootstrap -
qemu       arm64    qemu-aarch64-static qemu-user-static -            -                -         -       -
'

# found HOW: whether this machine has it (see above).
found() {
    local tool
    case ${1#\?} in
    dpkg) ! command -v dpkg-query >/dev/null || [[ $(dpkg-query -W -f='${db:Status-Abbrev}\n' \
        "${@:2}" 2>/dev/null | grep -c '^ii') == $(($# - 1)) ]] ;;
    pc:*) pkg-config --exists "${1#pc:}" 2>/dev/null ||
        { [[ $1 == pc:sdl2 ]] && (cd "$scratch" && cmake --find-package -DNAME=SDL2 -DCOMPILER_ID=GNU \
            -DLANGUAGE=CXX -DMODE=EXIST >/dev/null 2>&1); } ;;
    *) for tool in ${1//[?,]/ }; do command -v "$tool" >/dev/null || return 1; done ;;
    esac
}

# offered PACKAGE...: those that apt knows of.
offered() {
    local package
    for package; do apt-cache show "$package" >/dev/null 2>&1 && printf '%s ' "$package"; done
}

# require STEP...: what those steps need, found here or installed with apt-get. Without apt,
# one message names what is missing with the line that installs it on other systems, and the
# script stops.
require() {
    local step name what how debian others missing=() packages=() optional=() other=() line none i j
    for step; do
        while read -r name what how debian others; do
            [[ $what == "$step" ]] || continue
            IFS=, read -ra debian <<<"$debian"
            found "$how" "${debian[@]}" && continue
            if [[ $how == \?* ]]; then
                # A desktop that DESKTOPS, where set, leaves out is not wanted either.
                [[ $what != desktops || " ${DESKTOPS:-${name,,}} " == *" ${name,,} "* ]] &&
                    optional+=("${debian[@]}")
            else
                missing+=("$name") && packages+=("${debian[@]}") && other+=("$others")
            fi
        done <<<"$needs"
    done
    if command -v apt-get >/dev/null && command -v dpkg-query >/dev/null; then
        ((${#missing[@]})) || [[ $(offered "${optional[@]}") ]] || return 0
        local sudo=()
        if ((EUID != 0)); then
            command -v sudo >/dev/null || die "run as root, or install: ${packages[*]}"
            sudo=(sudo)
        fi
        "${sudo[@]}" apt-get update -qq
        read -ra optional <<<"$(offered "${optional[@]}")"
        packages+=("${optional[@]}")
        say "installing ${packages[*]}"
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
            --no-install-recommends "${packages[@]}" >/dev/null
        return
    fi
    ((${#missing[@]})) || return 0
    local managers=('dnf install' 'pacman -S --needed' 'zypper install' 'apk add' 'brew install')
    {
        printf '%s: missing: %s. Install with one of:\n' "$me" "${missing[*]}"
        for i in "${!managers[@]}"; do
            line='' none=''
            for j in "${!missing[@]}"; do
                read -ra others <<<"${other[j]}"
                [[ ${others[i]} == - ]] && none+=" ${missing[j]}" || line+=" ${others[i]//,/ }"
            done
            printf '  %-18s%s%s\n' "${managers[i]}" "$line" "${none:+ (no package for:$none)}"
        done
    } >&2
    exit 1
}

# apt_source_files: the files of this machine's own apt sources, where its apt looks for them:
# the one-line list and the folder of .list and .sources (deb822) files.
apt_source_files() {
    local list parts
    eval "$(apt-config shell list Dir::Etc::SourceList/f parts Dir::Etc::SourceParts/d)"
    compgen -G "$list" || true
    compgen -G "$parts*.list" || true
    compgen -G "$parts*.sources" || true
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

# Cleanup for whatever this shell started: servers are stopped by their process id (a negative
# one: the process group that a server leads). Their logs, and what the programs printed, stay
# in the scratch folder when the script fails.
pids=()
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sdl2-window.XXXXXX")
cleanup() {
    local status=$? pid
    for pid in "${pids[@]}"; do
        kill -- "$pid" 2>/dev/null || true
        wait "${pid#-}" 2>/dev/null || true
        stopped "$pid"
    done
    if ((status == 0 || status == 77)) || [[ -z $(ls -A "$scratch") ]]; then
        rm -rf "$scratch"
    else
        printf '%s: logs kept in %s\n' "$me" "$scratch" >&2
    fi
}
# stopped PID: what is left of it after SIGTERM (mutter 51, for one, outlives it) gets SIGKILL
# once 2 s have passed.
stopped() {
    for _ in {1..20}; do
        kill -0 -- "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL -- "$1" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# wait_until SECONDS WHAT COMMAND...: run COMMAND until it succeeds, or fail when SECONDS are up,
# times SLOWDOWN where that is set (the matrix sets it under emulation, where all is slower).
wait_until() {
    local seconds=$(($1 * ${SLOWDOWN:-1})) what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || { printf '%s: no %s after %ss\n' "$me" "$what" "$seconds" >&2; return 1; }
        sleep 0.05
    done
}

# start_xvfb [ARGUMENT...]: a private Xvfb, with those arguments too, on a display number that
# it picks free itself. Sets DISPLAY, xvfb_pid and xvfb_log, and points SDL2 at it alone: no
# fallback to another driver, nor to the caller's own display. The server is stopped on exit.
# shellcheck disable=SC2120 # the arguments are optional
start_xvfb() {
    local number
    number=$(mktemp "$scratch/display.XXXX")
    xvfb_log=$number.log
    # -noreset: the server stays as it is when its last client leaves.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset "$@" 3>"$number" 2>"$xvfb_log" &
    xvfb_pid=$!
    pids+=("$xvfb_pid")
    wait_until 10 "Xvfb (log: $xvfb_log)" test -s "$number" || return 1
    DISPLAY=:$(<"$number")
    export DISPLAY SDL_VIDEODRIVER=x11
    unset WAYLAND_DISPLAY
}

# start_weston BACKEND FOLDER: Weston with its runtime folder FOLDER, made here, nested on
# $DISPLAY (x11) or with no output and no input seat (headless). Sets weston (its socket) and
# weston_pid; it is stopped on exit.
start_weston() {
    mkdir -m 700 "$2"
    XDG_RUNTIME_DIR=$2 weston --no-config --idle-time=0 --backend="$1-backend.so" --use-pixman \
        >"$2.log" 2>&1 &
    weston_pid=$!
    pids+=("$weston_pid")
    wait_until 10 "Weston (log: $2.log)" compgen -G "$2/wayland-?" || return 1
    # shellcheck disable=SC2034 # for the caller
    weston=$(compgen -G "$2/wayland-?")
}

# start_wm: openbox on $DISPLAY, once its start-up is over (it runs --startup then): a window
# mapped while it is still starting may never be managed, and so never shown.
start_wm() {
    openbox --sm-disable --startup "touch $scratch/wm-ready" >"$scratch/wm.log" 2>&1 &
    pids+=($!)
    wait_until 10 "window manager (log: $scratch/wm.log)" test -e "$scratch/wm-ready"
}

# start_desktop NAME: the desktop (mutter, kwin, sway, labwc or weston) in a session, a home and a
# runtime folder of its own, headless, or nested on $DISPLAY where NESTED is set (Weston always
# is), with WAYLAND_DEBUG=client, which its Xwayland inherits. Sets XDG_RUNTIME_DIR (its log is
# $XDG_RUNTIME_DIR.log), wayland (its socket), xwayland (its X display), xauth (the key to it),
# and as (the command prefix that runs as its user). stop_desktop stops it.
start_desktop() {
    export XDG_RUNTIME_DIR=$scratch/$1
    mkdir -m 700 "$XDG_RUNTIME_DIR" && as=()
    local mutter=(--headless --virtual-monitor 1024x768) kwin=(--virtual) backend=headless
    [[ -z ${NESTED:-} ]] || mutter=(--nested) kwin=(--x11-display "$DISPLAY") backend=x11
    case $1 in
    weston) launch weston --no-config --idle-time=0 --backend=x11-backend.so --use-pixman --xwayland ;;
    mutter) launch dbus-run-session -- mutter "${mutter[@]}" --wayland ;;
    kwin)
        # A copy, without the file capability whose exec some containers refuse, and named as
        # KWin must be to find its platform plugins.
        cp "$(command -v kwin_wayland)" "$scratch/kwin_wayland"
        launch dbus-run-session -- "$scratch/kwin_wayland" "${kwin[@]}" --xwayland ;;
    sway | labwc)
        # As root, they, the programs on them and the tools that look at them run as nobody:
        # sway will not run as root, and their Xwayland lets in its own user alone.
        ((EUID)) || { as=(setpriv --reuid=65534 --regid=65534 --clear-groups) && chown 65534 "$XDG_RUNTIME_DIR"; }
        local wlroots=(env "WLR_BACKENDS=$backend" WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman)
        if [[ $1 == sway ]]; then launch "${wlroots[@]}" sway --config /dev/null; else
            launch "${wlroots[@]}" labwc --config-dir "$XDG_RUNTIME_DIR"; fi ;;
    esac
}

# launch COMMAND...: the desktop in a session of its own; its Wayland socket, and its Xwayland on
# the one X socket that is new.
launch() {
    # (KWin makes no X socket folder of its own, as an X server would.)
    [[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix
    sockets=$(ls /tmp/.X11-unix) displays=
    # A home of its own too, for the desktop alone: the caller's stays the caller's.
    setsid "${as[@]}" env WAYLAND_DEBUG=client HOME="$XDG_RUNTIME_DIR" "$@" >"$XDG_RUNTIME_DIR.log" 2>&1 &
    pids+=(-$!)
    wait_until 20 "Wayland socket (log: $XDG_RUNTIME_DIR.log)" wayland_up || return 1
    wait_until 20 'Xwayland socket' xwayland_up || return 1
    # mutter and KWin 6 let in only the holders of the key that they write into the runtime folder.
    xauth=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" || compgen -G "$XDG_RUNTIME_DIR/xauth_*") ||
        xauth=
    wait_until 20 Xwayland x timeout 5 xdpyinfo
}
wayland_up() { wayland=$(compgen -G "$XDG_RUNTIME_DIR/wayland-?" | head -n 1) && [[ ${wayland:=} ]]; }
xwayland_up() {
    displays=$(comm -13 <(echo "$sockets") <(ls /tmp/.X11-unix) | sed -n 's/^X//p')
    xwayland=:$(head -n 1 <<<"$displays")
    [[ $xwayland != : ]]
}
# x COMMAND...: COMMAND on the desktop's Xwayland, as the desktop's user.
x() { "${as[@]}" env "XAUTHORITY=$xauth" DISPLAY="$xwayland" "$@"; }
# stop_desktop: the desktop's process group, and the X sockets and locks that it left (KWin does).
stop_desktop() {
    local display
    { kill -- "${pids[-1]}" && wait "${pids[-1]#-}"; } 2>/dev/null || true
    stopped "${pids[-1]}"
    unset 'pids[-1]'
    for display in $displays; do rm -f "/tmp/.X11-unix/X$display" "/tmp/.X$display-lock"; done
}
