#!/usr/bin/env bash
# Makes build-wine32/root of this clone: an i386 Debian 12 root that holds Debian's 32-bit Wine,
# under which the tests of the 32-bit Windows build run (scripts/wine32/ runs its programs). It
# is unpacked from a tarball kept outside the clone, in HARNOW_CACHE (by default
# /var/cache/harnow), so that a later clone only unpacks it; without the tarball it is made and
# packed: debootstrap of bookworm for i386 from the archive that apt uses, with bookworm and
# bookworm-updates main only (Wine and all it needs are in main, and the security suite's i386
# index may lag behind the machine's own), then Wine installed by the root's own apt, under the
# registry rules of scripts/packages.sh. The machine's dpkg and apt are left as they are: no
# foreign architecture is added to them.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/packages.sh"
dir="$here/build-wine32"
root="$dir/root"
cache="${HARNOW_CACHE:-/var/cache/harnow}"
tarball="$cache/debian12-i386-wine.tar.zst"

# Makes the root in $1.
make_root() {
    local mirror apt=("$here/scripts/with-root.sh" "$1" "" env DEBIAN_FRONTEND=noninteractive
        apt-get)
    mirror="$(debian_mirror)" || return 1
    echo "making an i386 Debian 12 root with Wine from $mirror in $1 ..." >&2
    bootstrap_root "$1" "$dir" bookworm "$mirror" "" i386 || return 1
    printf 'deb %s %s main\n' "$mirror" bookworm "$mirror" bookworm-updates \
        >"$1/etc/apt/sources.list"
    update_indexes "$dir/left-out" "${apt[@]}" &&
        fetch_packages "${apt[@]}" install -y -qq --no-install-recommends -- wine >/dev/null &&
        "${apt[@]}" clean && rm -rf "$1"/var/lib/apt/lists/*
}

if [ ! -x "$root/usr/lib/wine/wine" ]; then
    install_missing debootstrap zstd
    rm -rf "$root.partial"
    mkdir -p "$root.partial" "$cache"
    if [ -f "$tarball" ]; then
        echo "unpacking $tarball into $root ..." >&2
        tar -C "$root.partial" --numeric-owner --zstd -xf "$tarball"
    else
        make_root "$root.partial"
        # Another clone may pack one at the same time: each packs a file of its own.
        tar -C "$root.partial" --numeric-owner --zstd -cf "$tarball.$$" .
        mv "$tarball.$$" "$tarball"
    fi
    rm -rf "$root"
    mv "$root.partial" "$root"
fi
# An installed Debian names 'localhost' in /etc/hosts, which debootstrap leaves out: without it
# the library's connect("localhost", ...) finds no such host in this root.
[ -f "$root/etc/hosts" ] ||
    printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"
