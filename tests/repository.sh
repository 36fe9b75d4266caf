#!/usr/bin/env bash
# The release's apt repository as a user meets it, in a throwaway minimal Debian root, where
# scripts/release runs it: the lines of docs/install.md (the keys' package, a deb822 .sources
# file that names its keys, `apt-get install sdl2-window`), whose program holds its window on X11
# and on Wayland (DISPLAY and WAYLAND_DISPLAY). On arm64, under emulation, that alone, without
# Recommends. Elsewhere, as a user types it, with Recommends; then its debug symbols come from
# main/debug; a later version published over it, signed with the next key that the keys'
# package announced: the earlier one is still there for yesterday's lists, the later arrives
# with `apt-get upgrade`, and the earlier stays installable by its number; apt
# refuses each repository changed or signed wrongly; gpgv and sqv refuse a changed SHA256SUMS,
# and sha256sum a changed download. Each case prints "ok" or "FAIL", with what it expected; the
# last line, how many of those that the architecture must pass did ("14 of 14 checks passed"),
# and fewer fail it.
#   repository.sh FOLDER URL SUITE
# URL serves FOLDER, where repo/ is a link to release/, the release's dist/, which the upgrade
# points at later/, the same with a later version; and each wrong repository by its case's name.
set -euo pipefail
folder=$1 url=$2 suite=$3
export DEBIAN_FRONTEND=noninteractive
keyring=/usr/share/keyrings/sdl2-window-archive-keyring.pgp
failed=0 passed=0 expected=14
arch=$(dpkg --print-architecture)
[[ $arch != arm64 ]] || expected=3
ok() { echo "ok   $1" && passed=$((passed + 1)); }
trap 'echo "$passed of $expected checks passed"' EXIT
fail() { # safe in conditions
    echo "FAIL $1: expected $2, got: $3" && failed=1
}
# finish: the count held to what this architecture must pass, and the exit.
finish() {
    ((passed == expected)) || fail checks "$expected passed" "$passed passed"
    exit "$failed"
}

# use FOLDER [COMPONENTS]: the repository at URL/FOLDER, as the .sources file names it (main, or
# COMPONENTS), and apt's lists.
use() { # safe in conditions
    printf '%s\n' 'Types: deb' "URIs: $url/$1" "Suites: $suite" "Components: ${2:-main}" "Signed-By: $keyring" \
        >/etc/apt/sources.list.d/sdl2-window.sources || return
    rm -f /var/lib/apt/lists/127.0.0.1[:_]* || return
    apt-get update -qq 2>&1
}
# uncached: our own packages out of apt's cache, which the roots share.
uncached() {
    rm -f /var/cache/apt/archives/sdl2-window* /var/cache/apt/archives/partial/sdl2-window*
}
# installed [PACKAGE]: the version of sdl2-window, or PACKAGE, that dpkg has installed, or nothing.
installed() { # safe in conditions
    { dpkg-query -W -f='${db:Status-Abbrev} ${Version}\n' "${1:-sdl2-window}" 2>/dev/null || true; } | sed -n 's/^ii  *//p'
}

# The user's lines, as docs/install.md gives them, but for the address; as root, sudo is the
# command itself, and apt asks nothing. (On the emulated roots, without Recommends: what the
# window needs is in Depends.) Elsewhere, on a machine with i386 added, as for Steam or Wine:
# apt must not warn or note anything.
lines=$(awk '/^## Installing with apt/ { on = 1 } on && /^```/ && n++ { exit } on && n' docs/install.md)
lines=${lines#*$'\n'}
echo 'APT::Get::Assume-Yes "true";' >/etc/apt/apt.conf.d/90lines
if [[ $arch == arm64 ]]; then echo 'APT::Install-Recommends "false";' >>/etc/apt/apt.conf.d/90lines
else dpkg --add-architecture i386; fi
# shellcheck disable=SC2317 # run by the lines
sudo() { "$@"; }
export -f sudo
status=0
bash -euo pipefail -c "${lines//https:\/\/HOST\/PATH/$url/repo}" >/tmp/lines.log 2>&1 || status=$?
rm /etc/apt/apt.conf.d/90lines
uncached
version=$(installed)
said=$(grep -E '^(W|N|E): ' /tmp/lines.log) || (($? == 1))
if [[ $version && $status == 0 && -z $said && $lines == *HOST/PATH* ]]; then ok "installed by the docs' lines: sdl2-window $version"
else fail "docs/install.md's lines" 'sdl2-window installed, and apt quiet' "exit $status, sdl2-window ${version:-none}: $(<"/tmp/lines.log")"; fi
for driver in x11 wayland; do
    start=$(date +%s%N) status=0
    out=$(SDL_VIDEODRIVER=$driver timeout -k 5 30 sdl2-window) || status=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    if [[ $status == 0 && -z $out && $ms -ge 3000 ]]; then ok "window held on $driver: $ms ms"
    else fail "window on $driver" 'exit 0, nothing printed, 3000 ms or more' "exit $status in $ms ms, printed: $out"; fi
done
((expected == 14)) || finish

# The debug symbols, from the debug component, for the same version.
use repo 'main main/debug' >/dev/null
apt-get install -y -qq sdl2-window-dbgsym >/dev/null 2>&1 || true
uncached
debug=$(installed sdl2-window-dbgsym)
if [[ $debug == "$version" ]]; then ok "debug symbols installed: sdl2-window-dbgsym $version"
else fail 'debug symbols from main/debug' "sdl2-window-dbgsym $version" "${debug:-nothing}"; fi

# The later version, published over the same repository: a user whose lists are a day old can
# still install what they name; with lists brought up to date, apt-get upgrade brings it; the
# earlier version stays installable by its number.
target=$(readlink "$folder/later")
ln -sfn "$target" "$folder/repo"
status=0
out=$(apt-get install -y -qq --reinstall sdl2-window 2>&1) || status=$?
uncached
if ((status == 0)); then ok "reinstalled with yesterday's lists: sdl2-window $version"
else fail "reinstall with yesterday's lists" "sdl2-window $version, from the pool" "exit $status: $out"; fi
status=0
out=$(use repo 'main main/debug') || status=$?
((status == 0)) ||
    fail 'apt-get update, the later version signed with the next key' 'that key in sdl2-window-archive-keyring' "exit $status: $out"
apt-get upgrade -y -qq >/dev/null
uncached
later=$(installed)
if dpkg --compare-versions "$later" gt "$version"; then ok "upgraded: sdl2-window $version to $later"
else fail 'apt-get upgrade' "a version later than $version" "${later:-none}"; fi
apt-get install -y -qq --allow-downgrades "sdl2-window=$version" >/dev/null 2>&1 || true
uncached
now=$(installed)
if [[ $now == "$version" ]]; then ok "the earlier version installed by its number: sdl2-window $version"
else fail "apt-get install sdl2-window=$version" "sdl2-window $version" "${now:-nothing}"; fi

# Each repository changed or signed wrongly, on a root without the package: apt refuses it, and
# says why.
apt-get purge -y -qq sdl2-window >/dev/null
#       case               what apt must say (extended regular expression)
cases='
changed-deb        Hash Sum mismatch|hashes do not match|unexpected size
changed-inrelease  BADSIG|Message has been manipulated|[Bb]ad signature
other-key          NO_PUBKEY|Missing key
unsigned           is not signed
'
while read -r case says; do
    [[ $case ]] || continue
    out=$(use "$case") || true
    out+=$(apt-get install -y -qq sdl2-window 2>&1) || true
    uncached
    now=$(installed)
    if [[ $now ]]; then fail "$case" 'apt refuses it' "sdl2-window $now installed"
    elif grep -qE "$says" <<<"$out"; then ok "$case refused: $(grep -m 1 -oE "$says" <<<"$out")"
    else fail "$case" "apt saying /$says/" "$out"; fi
    apt-get purge -y -qq sdl2-window >/dev/null 2>&1 || true
done <<<"$cases"

# A download checked as the docs say: the signature of SHA256SUMS with each verifier here, then
# the files' sums; each must also refuse a changed SHA256SUMS, or a changed file.
apt-get install -y -qq --no-install-recommends gpgv sqv >/dev/null
mkdir /tmp/download
cp "$folder"/release/{SHA256SUMS,SHA256SUMS.asc,sdl2-window-keyring.pgp,*.tar.gz} /tmp/download/
cd /tmp/download
tarball=$(compgen -G 'sdl2-window-*.tar.gz')
for verifier in gpgv sqv; do
    command -v "$verifier" >/dev/null || { fail "$verifier" "$verifier installed" 'no such command' && continue; }
    "$verifier" --keyring ./sdl2-window-keyring.pgp SHA256SUMS.asc SHA256SUMS >/dev/null 2>&1 ||
        fail "$verifier" 'SHA256SUMS verified' 'refused'
    sed 's/^./0/' SHA256SUMS >changed
    if out=$("$verifier" --keyring ./sdl2-window-keyring.pgp SHA256SUMS.asc changed 2>&1); then
        fail "$verifier, changed SHA256SUMS" 'refused' 'verified'
    else ok "$verifier refused a changed SHA256SUMS: ${out//$'\n'/ }"; fi
done
sha256sum -c --ignore-missing --quiet SHA256SUMS || fail 'sha256sum -c' "$tarball OK" 'FAILED'
echo >>"$tarball"
if out=$(sha256sum -c --ignore-missing SHA256SUMS 2>&1); then fail "sha256sum -c, changed $tarball" FAILED "$out"
else ok "sha256sum -c refused a changed file: $(grep FAILED <<<"$out")"; fi
finish
