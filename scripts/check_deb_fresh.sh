#!/usr/bin/env bash
# Installs a Pagelume .deb on a fresh Debian 12 made with debootstrap, converts a book there
# as an unprivileged user, removes the package and checks that none of its files stay.
#   scripts/check_deb_fresh.sh build/pagelume_3.3_amd64.deb
#   scripts/check_deb_fresh.sh --mirror      only prints the mirror it would use
# Needs root, debootstrap and the Debian mirror this machine's apt uses (about 150 MB of
# downloads, 2 minutes). The mirror is the first source for bookworm in the apt configuration
# (/etc/apt/sources.list.d/*.sources, then /etc/apt/sources.list and sources.list.d/*.list;
# APT_ETC names another folder than /etc/apt).
set -euo pipefail
release=bookworm

# The URI of the first "deb" source for the release, in deb822 or one-line form.
find_mirror() {
    local etc=${APT_ETC:-/etc/apt} f found
    shopt -s nullglob
    for f in "$etc"/sources.list.d/*.sources; do
        found=$(awk -v rel="$release" '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " rel " ") && uri != "") {
                    print uri; done = 1
                }
                types = suites = uri = ""
            }
            done { next }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            tolower($1) == "types:" { $1 = ""; types = $0 }
            tolower($1) == "suites:" { $1 = ""; suites = $0 }
            tolower($1) == "uris:" { uri = $2 }
            END { if (!done) flush() }' "$f")
        [[ -z $found ]] || { echo "$found"; return; }
    done
    for f in "$etc"/sources.list "$etc"/sources.list.d/*.list; do
        [[ -f $f ]] || continue
        found=$(awk -v rel="$release" '
            !done && $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                if ($(i + 1) == rel) { print $i; done = 1 }
            }' "$f")
        [[ -z $found ]] || { echo "$found"; return; }
    done
}
mirror=$(find_mirror)
[[ -n $mirror ]] || { echo "no apt source for $release found in ${APT_ETC:-/etc/apt}" >&2; exit 1; }
if [[ ${1:-} == --mirror ]]; then
    echo "$mirror"
    exit 0
fi
deb=$(realpath "$1")
page=$(realpath "$(dirname "$0")/../tests/image/corpus/ct6_d8_plain_33x17.png")
[[ $(id -u) -eq 0 ]] || { echo "run this as root" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "apt-get install debootstrap" >&2; exit 1; }

work=$(mktemp -d)
root=$work/root
cleanup() {
    mountpoint -q "$root/proc" && umount "$root/proc"
    rm -rf "$work"
}
trap cleanup EXIT

debootstrap --variant=minbase "$release" "$root" "$mirror" >"$work/debootstrap.log"
cp "$deb" "$root/tmp/pagelume.deb"
install -m 644 "$page" "$root/tmp/page.png"
mount -t proc proc "$root/proc"  # the program finds its data through /proc/self/exe
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

in_root apt-get install -y -q /tmp/pagelume.deb >"$work/install.log"
in_root sh -e -c '
    mkdir -p /home/u && chown nobody:nogroup /home/u
    as_user() { setpriv --reuid=nobody --regid=nogroup --clear-groups env -i HOME=/home/u PATH=/usr/bin:/bin "$@"; }
    pagelume --version
    as_user pagelume --paths
    as_user pagelume --title Fresh --author Me --output /home/u/out /tmp/page.png
    test -s /home/u/out/Fresh.epub
    test -f /home/u/.cache/pagelume/epubfiles/META-INF/container.xml
'
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print substr($NF, 2)}')
in_root apt-get remove -y -q pagelume >"$work/remove.log"
if in_root dpkg -s pagelume >/dev/null 2>&1; then
    echo "pagelume is still known to dpkg" >&2; exit 1
fi
for f in $files; do
    [[ ! -e "$root$f" ]] || { echo "left behind: $f" >&2; exit 1; }
done
echo "installed, converted and removed cleanly on a fresh Debian 12"
