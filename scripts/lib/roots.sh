# shellcheck shell=bash
# The Debian roots, on top of basics.sh and installer.sh: minimal roots, amd64 or arm64 (run
# under qemu-user-static), made by debootstrap from this machine's own archive and kept in the
# cache folder, where the matrix, the release and the pictures run. Needs root. It gives:
#   rows_table:    the page whose table holds the matrix's rows; rows, that table's rows
#   row_names:     the matrix's rows; row_sdl2_build, their SDL2 builds; ci_rows, CI's; row_roots, their roots
#   roots:         the roots' folder: ROOT as steps leave it, ROOT.minimal as debootstrap made it
#   in_root_tree, in_root_bound, in_root_cache: inside a root, where the tree, the folder that bind
#                  names and the cache folder are
#   fresh_root:    a root made, or brought up to date, from the Debian archive (archive)
#   inside:        a command in a root, in namespaces of its own, with or without the network,
#                  and a folder bound in (bind)
#   copy_tree:     the tree as it is into a root
#   in_src:        a command in the copy of the tree in a root
#   in_tree:       a command in a copy of the tree in a root, dist/ carried in and back out
#   in_throwaway:  the same in a throwaway copy of ROOT.minimal; several may run side by side,
#                  sharing the cache folder's downloads

# The rows, from the table of rows_table whose header starts with "Row": each a root (a Debian
# release; -arm64: for arm64), with -compat where libsdl2-compat stands in for SDL2; the SDL2
# build, as the suites' tables name it; and whether CI runs it ("yes").
row_names=() ci_rows=() row_roots=()
declare -A row_sdl2_build=()
rows_table=docs/maintainers/testing.md
rows=$(table_rows "$rows_table" Row)
[[ $rows ]] || die "$rows_table: no table of rows, whose header starts with \"Row\""
while IFS='|' read -r row _ sdl2 _ ci; do
    row_names+=("$row")
    # shellcheck disable=SC2034 # for the matrix
    row_sdl2_build[$row]=$sdl2
    [[ $ci != yes* ]] || ci_rows+=("$row")
    [[ " ${row_roots[*]} " == *" ${row%-compat} "* ]] || row_roots+=("${row%-compat}")
done <<<"$rows"

roots=$cache/roots
in_root_tree=/src in_root_bound=/mnt in_root_cache=/root/.cache/sdl2-window
# What apt downloads in a throwaway root stays here for the next (apt checks each file's hash);
# SDL2 built for Windows, beside it, in sdl2-for-windows.
debs=$cache/debs
debootstrap_logs=$PWD/build/roots
archive=''

# fresh_root ROOT: the root (sid in $roots; sid.minimal for one that only this changes),
# made when missing, brought up to date when a day old; unstable's apt skips Valid-Until. The
# first call finds the archive: SDL2_WINDOW_ARCHIVE, or this machine's apt's, through its proxy.
fresh_root() { # safe in conditions
    if [[ -z $archive ]]; then
        ((EUID == 0)) || die "run as root: the Debian roots need chroot and mounts"
        require roots || return
        local id codename
        id=$(os_release ID) || return
        codename=$(os_release VERSION_CODENAME) || return
        archive=${SDL2_WINDOW_ARCHIVE:-}
        if [[ -z $archive && $id == debian ]]; then
            archive=$(apt_archives | awk -v codename="$codename" '$2 == codename {print $1; exit}') || return
        fi
        [[ $archive ]] || die "no Debian archive in this machine's apt sources: name one in SDL2_WINDOW_ARCHIVE"
        proxy=$(apt-config shell http_proxy Acquire::http::Proxy) || return
        eval "$proxy" || return
        [[ -z ${http_proxy:-} ]] || export http_proxy
        mkdir -p "$roots" "$debootstrap_logs" "$debs" || return
    fi
    local root=$1 name=${1##*/}
    name=${name%.minimal}
    local suite=${name%-arm64} arch=${name#"${name%-arm64}"}
    local start=$SECONDS stale=''
    [[ ! -e $root/.made ]] || stale=$(find "$root/.made" -mmin +1440) || return
    if [[ ! -e $root/.made ]]; then
        say "$name: making a minimal root with debootstrap"
        rm -rf "$root.new" || return
        # For arm64, the second stage runs emulated, in a user namespace, which may not make device
        # nodes: the first stage made them, and container=lxc tells debootstrap so.
        { debootstrap --variant=minbase ${arch:+--arch=arm64 --foreign} "$suite" "$root.new" "$archive" && { [[ -z $arch ]] ||
            emulated unshare --net chroot "$root.new" env container=lxc /debootstrap/debootstrap --second-stage; }; } \
            >"$debootstrap_logs/$name-debootstrap.log" 2>&1 || die "debootstrap failed (log: $debootstrap_logs/$name-debootstrap.log)"
        [[ $suite != sid ]] || echo 'Acquire::Check-Valid-Until "false";' >"$root.new/etc/apt/apt.conf.d/80valid" || return
        rm -rf "$root" || return
        mv "$root.new" "$root" || return
        touch "$root/.made" || return
        say "$name: made in $((SECONDS - start)) s"
    elif [[ $stale ]]; then
        say "$name: bringing the root up to date"
        inside "$root" net apt-get update -qq || return
        inside "$root" net apt-get upgrade -y -qq || return
        touch "$root/.made" || return
    fi >&2
}

# emulated COMMAND...: COMMAND in a user, mount and PID namespace of its own, whose binfmt_misc
# (Linux 6.7+) runs arm64 programs under qemu-user-static and goes away with it. Ids 0 to 65535
# map onto the same outside, written by this shell (newuidmap would want /etc/subuid).
emulated() { # safe in conditions
    local pid status=0
    require arm64 || return
    # shellcheck disable=SC2016 # the inner shell expands its own arguments
    setsid unshare --user --mount --pid --fork --kill-child --propagation private bash -euo pipefail -c '
        until [[ $(</proc/self/uid_map) ]]; do sleep 0.01; done
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
        cat /usr/lib/binfmt.d/qemu-aarch64.conf >/proc/sys/fs/binfmt_misc/register
        exec "$@"' emulated "$@" &
    pid=$!
    # unshare ignores SIGTERM: on the way out, the script stops its whole process group.
    pids+=(-"$pid")
    until [[ ! /proc/$pid/ns/user -ef /proc/self/ns/user ]]; do sleep 0.01; done
    echo '0 0 65536' >"/proc/$pid/uid_map" || return
    echo '0 0 65536' >"/proc/$pid/gid_map" || return
    wait "$pid" || status=$?
    unset 'pids[-1]'
    return "$status"
}

# inside ROOT net|nonet COMMAND...: COMMAND in ROOT, as root, with a clean environment (but
# LD_LIBRARY_PATH, DESKTOPS and SLOWDOWN), emulated for arm64, its kernel file systems mounted
# in a mount namespace that goes away with it; nonet gives it a network namespace too, where its
# display servers cannot meet the host's. Where bind names a folder, it is at in_root_bound. Where
# overlay names one, apt's cache of downloaded packages is debs/ seen through an overlay whose
# changes go to that folder, and SDL2 built for Windows is the cache folder's.
bind='' overlay=''
inside() { # safe in conditions
    local root=$1 net=() emulated=()
    [[ $2 == nonet ]] && net=(--net)
    [[ $root == *-arm64* ]] && emulated=(emulated)
    shift 2
    cp /etc/resolv.conf "$root/etc/resolv.conf" || return
    # shellcheck disable=SC2016 # the inner shell expands its own arguments
    "${emulated[@]}" unshare --mount --propagation private --fork --kill-child "${net[@]}" bash -euo pipefail -c '
        root=$1 bind=$2 overlay=$3 debs=$4 bound=$5 windows=$6 cached=$7
        shift 7
        [[ -z $bind ]] || mount --bind "$bind" "$root$bound"
        if [[ $overlay ]]; then
            mkdir -p "$overlay/debs" "$overlay/work" "$root$windows" "$cached"
            mount -t overlay overlay -o "lowerdir=$debs,upperdir=$overlay/debs,workdir=$overlay/work" "$root/var/cache/apt/archives"
            mount --bind "$cached" "$root$windows"
        fi
        mount -t proc proc "$root/proc"
        mount --rbind /sys "$root/sys"
        mount --rbind /dev "$root/dev"
        ip link set lo up 2>/dev/null || true
        exec chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
            LANG=C.UTF-8 CI=true ${LD_LIBRARY_PATH:+"LD_LIBRARY_PATH=$LD_LIBRARY_PATH"} \
            ${DESKTOPS:+"DESKTOPS=$DESKTOPS"} ${SLOWDOWN:+"SLOWDOWN=$SLOWDOWN"} "$@"
    ' inside "$root" "$bind" "$overlay" "$debs" "$in_root_bound" "$in_root_cache/sdl2-for-windows" \
        "$cache/sdl2-for-windows" "$@"
}

# copy_tree ROOT: the tree as it is, tracked and new files but not deleted ones, into the root's
# in_root_tree, with a clean /tmp.
copy_tree() { # safe in conditions
    local file files
    rm -rf "$1$in_root_tree" "$1/tmp" || return
    mkdir "$1$in_root_tree" || return
    mkdir -m 1777 "$1/tmp" || return
    files=$(mktemp "$scratch/tree.XXXXXX") || return
    git ls-files -z --cached --others --exclude-standard >"$files" || return
    while IFS= read -rd '' file; do
        if [[ -e $file || -L $file ]]; then printf '%s\0' "$file" || return; fi
    done <"$files" | tar --null -T - -cf - | tar -xf - -C "$1$in_root_tree"
}

# in_src ROOT net|nonet COMMAND...: inside, in the root's copy of the tree.
in_src() { # safe in conditions
    # shellcheck disable=SC2016 # expanded by the root's shell
    inside "$1" "$2" bash -euo pipefail -c 'cd "$0" && "$@"' "$in_root_tree" "${@:3}"
}

# in_throwaway ROOT COMMAND...: in_tree in a throwaway copy of the root as it was made, with
# only what COMMAND installs, as Debian's build daemons build (under emulation, dpkg cannot
# rename a folder on an overlay, so it is a copy), and dpkg's writes not synced: nothing stays.
# Throwaway roots may run side by side. The packages that apt downloads join debs/ at the end,
# for the next (apt checks each file's hash), but our own.
in_throwaway() { # safe in conditions
    local status=0 copy file kept
    fresh_root "$roots/$1.minimal" || return
    copy=$(mktemp -d "$scratch/$1.XXXXXX") || return
    cp -a "$roots/$1.minimal" "$copy/root" || return
    echo force-unsafe-io >"$copy/root/etc/dpkg/dpkg.cfg.d/unsafe-io" || return
    overlay=$copy in_tree "$copy/root" "${@:2}" || status=$?
    for file in "$copy"/debs/*.deb; do
        [[ -f $file && ! -e $debs/${file##*/} && ${file##*/} != sdl2-window* ]] || continue
        # (Whole or not at all: another root may read the cache meanwhile.)
        kept=$(mktemp -p "$debs" .new.XXXXXX) && cp "$file" "$kept" && mv "$kept" "$debs/${file##*/}" || return
    done
    rm -rf "$copy" || return
    return "$status"
}

# in_tree FOLDER COMMAND...: COMMAND, with the network, in the root FOLDER's copy of the tree and
# of dist/, which comes back out.
in_tree() { # safe in conditions
    local status=0 tree=$1$in_root_tree
    copy_tree "$1" || return
    if [[ -d dist ]]; then cp -r dist "$tree/" || return; fi
    in_src "$1" net "${@:2}" || status=$?
    if [[ -d $tree/dist ]]; then
        mkdir -p dist || return
        # (What is there stays: a root beside this one may be reading it.)
        cp -rn "$tree/dist/." dist/ || return
    fi
    return "$status"
}
