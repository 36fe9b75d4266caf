# shellcheck shell=bash
# The release's signed apt repository, on top of basics.sh: gpg and apt-ftparchive (apt-utils).
# It gives:
#   apt_suites:         the Debian releases whose users add the repository, by codename
#   signing_key:        a GnuPG home of its own with the publisher's key, or a throwaway one
#   signed:             a file signed with a home's key: detached and armoured, or clear-signed
#   keyring_package:    sdl2-window-archive-keyring, which brings the repository's keys to apt
#   repository:         an apt repository made in place over a folder's packages, signed
#   test_repositories:  what tests/repository.sh meets: the release, a later one, wrong ones
#   serve, port:        a folder served over HTTP on the loopback address, and its port

# One build serves them all: made on the oldest, it installs on each (Raspberry Pi OS: trixie).
apt_suites='bookworm trixie'

# signing_key HOME FILE|--new NAME: HOME, made, with the secret key that FILE holds (the
# signing subkey alone, where the primary key is kept offline), or with a new throwaway key of
# that NAME, which expires in a day. Its gpg-agent is stopped on exit.
signing_key() { # safe in conditions
    local keys
    mkdir -m 700 "$1" || return
    exits+=("gpgconf --homedir $(printf %q "$1") --kill all")
    if [[ $2 != --new ]]; then
        gpg --homedir "$1" --batch -q --import "$2" || return
    else
        gpg --homedir "$1" --batch -q --passphrase '' --quick-gen-key "$3" ed25519 sign 1d || return
    fi
    # (One key: the one that signs.)
    keys=$(gpg --homedir "$1" --list-secret-keys --with-colons) || return
    keys=$(grep '^sec:' <<<"$keys") || die "${3:-$2}: no secret key"
    [[ $keys != *$'\n'* ]] || die "${3:-$2}: not one secret key"
}

# keyring_package FOLDER VERSION EPOCH KEYS: into FOLDER, sdl2-window-archive-keyring VERSION, all
# its times EPOCH, with the keys in the file KEYS (binary OpenPGP: those that sign the
# repository, and those announced to sign it next) as /usr/share/keyrings/sdl2-window-archive-
# keyring.pgp, which the users' .sources file names: apt brings a new key with it. A copy of it
# as sdl2-window-archive-keyring.deb, for the first install.
keyring_package() { # safe in conditions
    local name=sdl2-window-archive-keyring tree=$scratch/keyring maintainer date size
    local doc=$tree/usr/share/doc/sdl2-window-archive-keyring
    rm -rf "$tree" || return
    mkdir -p "$tree/DEBIAN" "$tree/usr/share/keyrings" "$doc" || return
    cp "$4" "$tree/usr/share/keyrings/$name.pgp" || return
    cp packaging/debian/copyright "$doc/copyright" || return
    maintainer=$(sed -n 's/^Maintainer: //p' packaging/debian/control) || return
    date=$(date -u -R -d "@$3") || return
    printf '%s\n' "$name ($2) unstable; urgency=medium" '' '  * The keys of the sdl2-window apt repository.' '' \
        " -- $maintainer  $date" | gzip -9n >"$doc/changelog.Debian.gz" || return
    size=$(du -sk --apparent-size "$tree/usr") || return
    printf '%s\n' "Package: $name" "Version: $2" 'Architecture: all' "Maintainer: $maintainer" \
        "Installed-Size: ${size%%[[:space:]]*}" 'Section: misc' 'Priority: optional' 'Multi-Arch: foreign' \
        'Description: OpenPGP keys of the sdl2-window apt repository' \
        ' The keys that sign the sdl2-window apt repository, and those announced to' \
        ' sign it next, in /usr/share/keyrings, where its .sources file names them: a' \
        ' new key reaches apt with this package before the repository turns to it.' >"$tree/DEBIAN/control" || return
    (cd "$tree" && find usr -type f -exec md5sum {} + | sort -k 2) >"$tree/DEBIAN/md5sums" || return
    chmod -R u=rwX,go=rX "$tree" || return
    find "$tree" -exec touch -h -d "@$3" {} + || return
    SOURCE_DATE_EPOCH=$3 dpkg-deb --root-owner-group -Zxz -b "$tree" "$1/${name}_$2_all.deb" >/dev/null || return
    cp "$1/${name}_$2_all.deb" "$1/$name.deb"
}

# signed HOME detached|clear FILE OUTPUT: FILE signed with HOME's key, SHA-512, into OUTPUT.
signed() { # safe in conditions
    local how=(--detach-sign --armor)
    [[ $2 == clear ]] && how=(--clearsign)
    gpg --homedir "$1" --batch --yes -q --digest-algo SHA512 "${how[@]}" -o "$4" "$3"
}

# repository FOLDER HOME EPOCH ORIGIN: FOLDER's Debian packages (its versioned .deb files and
# source package) put in its pool, pool/main/s/sdl2-window/, beside what is there already (what
# a release started from: a published repository's pool), and the indexes of the whole pool made
# for each of the apt_suites: the programs in main, their debug symbols in main/debug, the
# source packages in main/source; compressed, as Debian's, and by hash (Acquire-By-Hash), every
# path in them clean of "." segments, which some hosts refuse; each Release dated EPOCH, its
# Origin and Label ORIGIN, and signed with HOME's key (InRelease, Release.gpg). A file already
# in the pool with other bytes stops it: a version, once published, keeps its bytes.
repository() { # safe in conditions
    local folder=$1 home=$2 suite arch file pool=pool/main/s/sdl2-window dists=$1/dists main=$scratch/main date
    date=$(date -u -R -d "@$3") || return
    mkdir -p "$folder/$pool" || return
    # (Not the keys' package under its stable name, whose bytes change from one release to the next.)
    for file in "$folder"/*_*.deb "$folder"/*.dsc "$folder"/*.debian.tar.xz "$folder"/*.orig.tar.gz; do
        if [[ ! -e $folder/$pool/${file##*/} ]]; then cp "$file" "$folder/$pool/" || return
        elif ! cmp -s "$file" "$folder/$pool/${file##*/}"; then
            die "${file##*/}: published already, with other bytes: a new build needs a new version"
        fi
    done
    rm -rf "$dists" "$main" || return
    # The indexes, the same for every suite. (What apt-ftparchive says of overrides, which the
    # repository has none of, goes to the scratch folder.)
    local said=$scratch/apt-ftparchive.log
    for arch in amd64 arm64; do
        mkdir -p "$main/binary-$arch" "$main/debug/binary-$arch" || return
        (cd "$folder" && apt-ftparchive --arch "$arch" packages "$pool") >"$scratch/Packages" 2>>"$said" || return
        # (Each stanza's first line names its package.)
        awk -v RS= -v ORS='\n\n' '$2 !~ /-dbgsym$/' "$scratch/Packages" >"$main/binary-$arch/Packages" || return
        awk -v RS= -v ORS='\n\n' '$2 ~ /-dbgsym$/' "$scratch/Packages" >"$main/debug/binary-$arch/Packages" || return
    done
    mkdir "$main/source" || return
    (cd "$folder" && apt-ftparchive sources "$pool") >"$main/source/Sources" 2>>"$said" || return
    for file in "$main"/binary-*/Packages "$main"/debug/binary-*/Packages "$main"/source/Sources; do
        xz -9 -T1 -k "$file" && gzip -9 -n -k "$file" || return
    done
    for suite in $apt_suites; do
        mkdir -p "$dists/$suite" || return
        cp -r "$main" "$dists/$suite/main" || return
        apt-ftparchive -o APT::FTPArchive::DoByHash=true \
            -o "APT::FTPArchive::Release::Origin=$4" -o "APT::FTPArchive::Release::Label=$4" \
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

# published_pool SOURCE FOLDER: the pool of the repository published at SOURCE, into FOLDER/pool:
# from a folder or an rsync source (HOST:PATH), copied; from an http:// or https:// URL, the files
# that its suites' indexes name, each checked against the SHA-256 that they give.
published_pool() { # safe in conditions
    local suite index hash path listed=$scratch/published
    mkdir -p "$2/pool/main/s/sdl2-window" || return
    if [[ $1 != http://* && $1 != https://* ]]; then
        rsync -rlt "$1/pool/" "$2/pool/" || return
        return 0
    fi
    : >"$listed" || return
    for suite in $apt_suites; do
        for index in {,debug/}binary-{amd64,arm64}/Packages source/Sources; do
            curl -fsS -o "$scratch/index.gz" "$1/dists/$suite/main/$index.gz" || return
            gzip -dc "$scratch/index.gz" >"$scratch/index" || return
            # Packages: a stanza's Filename and SHA256; Sources: its Directory and each file of
            # its Checksums-Sha256.
            awk 'function stanza() { if ("Filename:" in field) print field["SHA256:"], field["Filename:"]
                    for (i = 1; i <= n; i++) print hash[i], field["Directory:"] "/" name[i]
                    n = 0; split("", field) }
                /^(Filename|SHA256|Directory): / { field[$1] = $2 } /^Checksums-Sha256:/ { files = 1; next }
                files && /^ / { hash[++n] = $1; name[n] = $3; next } { files = 0 }
                /^$/ { stanza() } END { stanza() }' "$scratch/index" >>"$listed" || return
        done
    done
    sort -u -o "$listed" "$listed" || return
    while read -r hash path; do
        [[ $path =~ ^pool/main/s/sdl2-window/[A-Za-z0-9][A-Za-z0-9.+~_-]*$ ]] || die "$1 names a file outside its pool: $path"
        [[ -e $2/$path ]] || curl -fsS -o "$2/$path" "$1/$path" || return
        sha256sum -c --quiet - <<<"$hash  $2/$path" || die "$1/$path: not the file that its index names"
    done <"$listed"
}

# test_repositories RELEASE WWW EPOCH ORIGIN HOME NEXT URL: in WWW, what tests/repository.sh meets:
# the folder RELEASE, published as release/, which WWW's server gives at URL; later/, RELEASE's
# packages made again under a later version, in place of theirs, over the pool fetched from URL
# (where alone the earlier ones are), as a publisher's next release starts, and signed with
# NEXT's key, the one that RELEASE's keyring announces; and
# wrong ones, signed with HOME's key: a pool .deb changed, an InRelease changed after signing,
# signed by another key, and not signed.
test_repositories() { # safe in conditions
    local deb control version case
    scripts/publish --throwaway "$2/release" 2>/dev/null || return
    cp -r "$1" "$2/later" || return
    rm -r "$2/later/pool" || return
    published_pool "$7" "$2/later" || return
    for deb in "$2"/later/*_*.deb; do
        dpkg-deb -R "$deb" "$scratch/later" || return
        control=$scratch/later/DEBIAN/control
        version=$(sed -n 's/^Version: //p' "$control") || return
        # (The debug symbols depend on their program's own version: the later one.)
        sed -i -e "s/^Version: .*/&+later/" -e "s/(= $version)/(= $version+later)/" "$control" || return
        dpkg-deb -b "$scratch/later" "$2/later/" >/dev/null || return
        rm -r "$scratch/later" "$deb" || return
    done
    repository "$2/later" "$6" "$3" "$4" || return
    for case in changed-deb changed-inrelease other-key unsigned; do cp -r "$1" "$2/$case" || return; done
    # (This version's package: the pool may hold earlier ones.)
    deb=$(compgen -G "$1/sdl2-window_*_amd64.deb") || return
    printf x | dd of="$2/changed-deb/pool/main/s/sdl2-window/${deb##*/}" bs=1 seek=2000 conv=notrunc status=none || return
    sed -i '0,/^Suite: /s/^Suite: .*/&-changed/' "$2"/changed-inrelease/dists/*/InRelease || return
    signing_key "$scratch/other-key" --new 'someone else' || return
    repository "$2/other-key" "$scratch/other-key" "$3" "$4" || return
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
