# shellcheck shell=bash
# The release's signed apt repository, on top of basics.sh: gpg and apt-ftparchive (apt-utils).
# It gives:
#   apt_suites:         the Debian releases whose users add the repository, by codename
#   signing_key:        a GnuPG home of its own with the publisher's key, or a throwaway one
#   signed:             a file signed with a home's key: detached and armoured, or clear-signed
#   repository:         an apt repository made in place over a folder's packages, signed
#   test_repositories:  what tests/repository.sh meets: the release, a later one, wrong ones
#   serve, port:        a folder served over HTTP on the loopback address, and its port

# One build serves them all: made on the oldest, it installs on each (Raspberry Pi OS: trixie).
apt_suites='bookworm trixie'

# signing_key HOME [NAME]: HOME, made, with the secret key that the file SDL2_WINDOW_KEY holds,
# or, given a NAME, with a new throwaway key of that name. Its gpg-agent is stopped on exit.
signing_key() { # safe in conditions
    mkdir -m 700 "$1" || return
    exits+=("gpgconf --homedir $(printf %q "$1") --kill all")
    if [[ $# == 1 ]]; then
        gpg --homedir "$1" --batch -q --import "$SDL2_WINDOW_KEY" || return
    else
        gpg --homedir "$1" --batch -q --passphrase '' --quick-gen-key "$2" ed25519 sign never || return
    fi
    # (One secret key: the one that signs.)
    local keys
    keys=$(gpg --homedir "$1" --list-secret-keys --with-colons) || return
    keys=$(grep '^sec:' <<<"$keys") || die "${SDL2_WINDOW_KEY:-$1}: no secret key"
    [[ $keys != *$'\n'* ]] || die "${SDL2_WINDOW_KEY:-$1}: not one secret key"
}

# signed HOME detached|clear FILE OUTPUT: FILE signed with HOME's key, SHA-512, into OUTPUT.
signed() { # safe in conditions
    local how=(--detach-sign --armor)
    [[ $2 == clear ]] && how=(--clearsign)
    gpg --homedir "$1" --batch --yes -q --digest-algo SHA512 "${how[@]}" -o "$4" "$3"
}

# repository FOLDER HOME EPOCH: FOLDER's Debian packages (its .deb files and source package) put
# in its pool, pool/main/s/sdl2-window/, beside what is there already (what a release started
# from: a published repository's pool), and the indexes of the whole pool made for each of the
# apt_suites: the programs in main, their debug symbols in main/debug, the source packages in
# main/source; compressed, as Debian's, and by hash (Acquire-By-Hash), every path in them clean
# of "." segments, which some hosts refuse; each Release dated EPOCH, and signed with HOME's key
# (InRelease, Release.gpg). A file already in the pool with other bytes stops it: a version, once
# published, keeps its bytes.
repository() { # safe in conditions
    local folder=$1 home=$2 suite arch file pool=pool/main/s/sdl2-window dists=$1/dists main=$scratch/main date
    date=$(date -u -R -d "@$3") || return
    mkdir -p "$folder/$pool" || return
    for file in "$folder"/*.deb "$folder"/*.dsc "$folder"/*.debian.tar.xz "$folder"/*.orig.tar.gz; do
        if [[ ! -e $folder/$pool/${file##*/} ]]; then cp "$file" "$folder/$pool/" || return
        elif ! cmp -s "$file" "$folder/$pool/${file##*/}"; then
            die "${file##*/}: published already, with other bytes: a new build needs a new version"
        fi
    done
    rm -rf "$dists" "$main" || return
    # The indexes, the same for every suite.
    for arch in amd64 arm64; do
        mkdir -p "$main/binary-$arch" "$main/debug/binary-$arch" || return
        (cd "$folder" && apt-ftparchive --arch "$arch" packages "$pool") >"$scratch/Packages" || return
        # (Each stanza's first line names its package.)
        awk -v RS= -v ORS='\n\n' '$2 !~ /-dbgsym$/' "$scratch/Packages" >"$main/binary-$arch/Packages" || return
        awk -v RS= -v ORS='\n\n' '$2 ~ /-dbgsym$/' "$scratch/Packages" >"$main/debug/binary-$arch/Packages" || return
    done
    mkdir "$main/source" || return
    (cd "$folder" && apt-ftparchive sources "$pool") >"$main/source/Sources" || return
    for file in "$main"/binary-*/Packages "$main"/debug/binary-*/Packages "$main"/source/Sources; do
        xz -9 -T1 -k "$file" && gzip -9 -n -k "$file" || return
    done
    for suite in $apt_suites; do
        mkdir -p "$dists/$suite" || return
        cp -r "$main" "$dists/$suite/main" || return
        apt-ftparchive -o APT::FTPArchive::DoByHash=true \
            -o APT::FTPArchive::Release::Origin=sdl2-window -o APT::FTPArchive::Release::Label=sdl2-window \
            -o "APT::FTPArchive::Release::Suite=$suite" -o "APT::FTPArchive::Release::Codename=$suite" \
            -o 'APT::FTPArchive::Release::Architectures=amd64 arm64' \
            -o 'APT::FTPArchive::Release::Components=main main/debug' \
            -o "APT::FTPArchive::Release::Description=sdl2-window, for Debian's $suite" \
            -o "APT::FTPArchive::Release::Date=$date" \
            -o APT::FTPArchive::Release::MD5=false -o APT::FTPArchive::Release::SHA1=false \
            release "$dists/$suite" >"$scratch/Release" || return
        mv "$scratch/Release" "$dists/$suite/Release" || return
        signed "$home" clear "$dists/$suite/Release" "$dists/$suite/InRelease" || return
        signed "$home" detached "$dists/$suite/Release" "$dists/$suite/Release.gpg" || return
    done
}

# test_repositories RELEASE WWW HOME EPOCH: in WWW, what tests/repository.sh meets: the folder
# RELEASE as release/; the same as later/, with its packages made again under a later version;
# and wrong ones: a pool .deb changed, an InRelease changed after signing, signed by another
# key, and not signed. HOME's key signs them, but for the other key's.
test_repositories() { # safe in conditions
    local deb control version case
    # (Published as a publisher does.)
    scripts/publish "$2/release" 2>/dev/null || return
    cp -r "$1" "$2/later" || return
    for deb in "$2"/later/*.deb; do
        dpkg-deb -R "$deb" "$scratch/later" || return
        control=$scratch/later/DEBIAN/control
        version=$(sed -n 's/^Version: //p' "$control") || return
        # (The debug symbols depend on their program's own version: the later one.)
        sed -i -e "s/^Version: .*/&+later/" -e "s/(= $version)/(= $version+later)/" "$control" || return
        dpkg-deb -b "$scratch/later" "$2/later/" >/dev/null || return
        rm -r "$scratch/later" || return
    done
    repository "$2/later" "$3" "$4" || return
    for case in changed-deb changed-inrelease other-key unsigned; do cp -r "$1" "$2/$case" || return; done
    deb=$(compgen -G "$2/changed-deb/pool/main/s/sdl2-window/sdl2-window_*_amd64.deb") || return
    printf x | dd of="$deb" bs=1 seek=2000 conv=notrunc status=none || return
    sed -i '0,/^Suite: /s/^Suite: .*/&-changed/' "$2"/changed-inrelease/dists/*/InRelease || return
    signing_key "$scratch/other-key" 'someone else' || return
    repository "$2/other-key" "$scratch/other-key" "$4" || return
    rm "$2"/unsigned/dists/*/{InRelease,Release.gpg}
}

# serve FOLDER LOG: FOLDER served over HTTP on the loopback address until exit, on the port that
# it sets; its requests logged in LOG. As an object store behind a CDN, it refuses a path with
# a "." or ".." segment (403), which Python's own server would fold away.
serve() {
    # shellcheck disable=SC2016 # Python's own
    python3 -u -c 'import functools, http.server, sys
class Static(http.server.SimpleHTTPRequestHandler):
    def send_head(self):
        if {".", ".."} & set(self.path.split("?")[0].split("/")):
            self.send_error(403, "a dot segment")
            return None
        return super().send_head()
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Static, directory=sys.argv[1]))
print(server.server_address[1])
server.serve_forever()' "$1" >"$scratch/port" 2>"$2" &
    pids+=("$!")
    wait_until 10 'HTTP server' test -s "$scratch/port" || die "no HTTP server on the loopback address"
    port=$(<"$scratch/port")
}
