#!/usr/bin/env bash
# Makes docs/listing.png, the README's picture of a listing page as a browser shows it: a
# sample folder, /home/you/Videos on a file system of its own in a private mount namespace
# (so the page shows that path and the real /home is left alone), served by build/harnow in a
# private network namespace with only loopback, photographed by headless Chromium.
# Run as root: scripts/listing-picture.sh
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
picture="$here/docs/listing.png"
# The browser window, in CSS pixels: as large as the page, no larger.
size=360,330

if [ "${1:-}" != --inside ]; then
    [ "$(id -u)" -eq 0 ] || { echo "listing-picture.sh needs root (namespaces)" >&2; exit 1; }
    source "$here/scripts/packages.sh"
    install_missing "${BUILD_PACKAGES[@]}" chromium optipng iproute2 util-linux
    cmake -S "$here" -B "$here/build" >/dev/null
    cmake --build "$here/build" --target harnow -j2 >/dev/null
    mkdir -p "$here/docs"
    exec unshare --net --mount --propagation private -- "$0" --inside
fi

ip link set lo up
mount -t tmpfs -o mode=0755 sample /home
videos=/home/you/Videos
mkdir -p "$videos/Concerts" "$videos/Holidays 2026"
# notes.txt is left out of the page: .txt is not a listed type.
for name in index.html "Été à Nice.mp4" trailer.webm beach.jpg theme.mp3 notes.txt; do
    : >"$videos/$name"
done

work="$(mktemp -d)"
server=""
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
(cd "$videos" && exec "$here/build/harnow" >/dev/null) &
server=$!
for _ in $(seq 1 100); do
    [ -z "$(ss -Hltn 'sport = :80')" ] || break
    sleep 0.1
done

timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --hide-scrollbars --force-device-scale-factor=1 \
    --window-size="$size" --screenshot="$work/listing.png" http://localhost/ 2>/dev/null
optipng -quiet -o7 -strip all "$work/listing.png"
cp "$work/listing.png" "$picture"
echo "$picture: $(stat -c %s "$picture") bytes"
