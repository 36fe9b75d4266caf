# shellcheck shell=bash
# The installer, on top of basics.sh and displays.sh, whose desktops it installs too. It gives:
#   tools:         what the scripts use, and the packages that bring it on each system
#   require:       finds what a step needs, or installs it with apt, or names what is missing
#   apt_archives:  the archives of this machine's own apt sources
source scripts/lib/displays.sh

# What the scripts use: the step that wants it, how it is found here, and the packages that bring
# it: Debian's (comma-separated, installed with apt-get where apt is), then dnf's, pacman's,
# zypper's, apk's and brew's ('-': none). Found by: commands, all on PATH; pc:MODULE, pkg-config's
# (or, for SDL2, CMake's) package; dpkg, Debian's packages (taken to be there without dpkg). A
# leading '?': wanted where the system has it, never a reason to stop (its suites skip). The
# desktops' lines are displays.sh's.
tools='
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
Xwayland   suites   Xwayland          xwayland           xorg-x11-server-Xwayland xorg-xwayland xwayland xwayland -
binutils   suites   readelf           binutils           binutils     binutils         binutils  binutils binutils
man        suites   man,nroff         man-db,groff-base  man-db,groff man-db,groff     man,groff mandoc,groff man-db
dpkg-dev   package  ?dpkg-buildpackage,dh dpkg-dev,debhelper dpkg-dev     dpkg             dpkg      dpkg    dpkg
build-essential package ?dpkg       build-essential    -            -                -         -       -
file       package  file              file               file         file             file      file    -
lintian    package  ?lintian          lintian            lintian      -                -         -       -
dbus       suites   dbus-run-session  dbus               dbus-tools   dbus             dbus-1    dbus    -
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
gpg        release  gpg,gpgconf       gnupg              gnupg2       gnupg            gpg2      gnupg   gnupg
apt-utils  release  apt-ftparchive    apt-utils          -            -                -         -       -
python3    release  python3           python3            python3      python           python3   python3 python
rsync      publish  rsync             rsync              rsync        rsync            rsync     rsync   rsync
curl       publish  curl              curl               curl         curl             curl      curl    curl
debootstrap roots   debootstrap       debootstrap        debootstrap  debootstrap      debootstrap debootstrap -
qemu       arm64    qemu-aarch64-static qemu-user-static -            -                -         -       -
'

# present HOW: whether this machine has it (see above).
present() { # safe in conditions
    local tool states
    case ${1#\?} in
    dpkg)
        command -v dpkg-query >/dev/null || return 0
        states=$(dpkg-query -W -f='${db:Status-Abbrev}|' "${@:2}" 2>/dev/null) || return
        [[ -z ${states//'ii |'/} ]] ;;
    pc:*) pkg-config --exists "${1#pc:}" 2>/dev/null ||
        { [[ $1 == pc:sdl2 ]] && (cd "$scratch" && cmake --find-package -DNAME=SDL2 -DCOMPILER_ID=GNU \
            -DLANGUAGE=CXX -DMODE=EXIST >/dev/null 2>&1); } ;;
    *) for tool in ${1//[?,]/ }; do command -v "$tool" >/dev/null || return 1; done ;;
    esac
}

# offered PACKAGE...: those that apt knows of.
offered() { # safe in conditions
    local package
    for package; do
        if apt-cache show "$package" >/dev/null 2>&1; then printf '%s ' "$package" || return; fi
    done
}

# require STEP...: what those steps need, found here or installed with apt-get; without apt, a
# message naming what is missing, with the line that installs it on other systems, and a stop.
require() { # safe in conditions
    local step name for_step how debian others missing=() packages=() optional=() other=() line none i j available
    for step; do
        while read -r name for_step how debian others; do
            [[ $for_step == "$step" ]] || continue
            IFS=, read -ra debian <<<"$debian"
            present "$how" "${debian[@]}" && continue
            if [[ $how == \?* ]]; then
                # A desktop that DESKTOPS, where set, leaves out is not wanted either.
                [[ $for_step != desktops || " ${DESKTOPS:-$name} " == *" $name "* ]] &&
                    optional+=("${debian[@]}")
            else
                missing+=("$name") packages+=("${debian[@]}") other+=("$others")
            fi
        done <<<"$tools$desktop_tools"
    done
    if command -v apt-get >/dev/null && command -v dpkg-query >/dev/null; then
        available=$(offered "${optional[@]}") || return
        ((${#missing[@]})) || [[ $available ]] || return 0
        local sudo=()
        ((EUID == 0)) || { command -v sudo >/dev/null && sudo=(sudo); } || die "run as root, or install: ${packages[*]}"
        "${sudo[@]}" apt-get update -qq || return
        available=$(offered "${optional[@]}") || return
        read -ra optional <<<"$available"
        packages+=("${optional[@]}")
        say "installing ${packages[*]}"
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
            --no-install-recommends "${packages[@]}" >/dev/null || return
        return
    fi
    ((${#missing[@]})) || return 0
    local managers=('dnf install' 'pacman -S --needed' 'zypper install' 'apk add' 'brew install')
    printf '%s: missing: %s. Install with one of:\n' "$me" "${missing[*]}" >&2
    for i in "${!managers[@]}"; do
        line='' none=''
        for j in "${!missing[@]}"; do
            read -ra others <<<"${other[j]}"
            if [[ ${others[i]} == - ]]; then
                none+=" ${missing[j]}"
            else
                line+=" ${others[i]//,/ }"
            fi
        done
        printf '  %-18s%s%s\n' "${managers[i]}" "$line" "${none:+ (no package for:$none)}" >&2
    done
    exit 1
}

# apt_archives: each archive of this machine's apt sources, as "URI SUITE COMPONENT", from apt.
apt_archives() { # safe in conditions
    # shellcheck disable=SC2016 # apt's own placeholders
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' | sort -u
}
