#!/usr/bin/env bash
# Benchmarks Harnow side by side with nginx and lighttpd on the same files, with the same load
# generator (bench/loadgen.cpp), and prints one table of medians with the Harnow / peer ratios.
# Run as root from anywhere:  bench/run.sh
# Each server runs in a private network namespace of its own, with its load generator inside
# it; nothing leaves loopback. Rounds interleave the servers so that a busy machine slows all
# of them alike. The table is also written to bench/out/table.txt and bench/table.txt, and
# bench/chart.svg is drawn from it.
# Environment: BENCH_ROUNDS (5), BENCH_SECONDS (3, per load run), BENCH_SERVERS, BENCH_BEFORE.
# BENCH_BEFORE names earlier revisions of Harnow to run beside the working tree's, each as a
# server "harnow-REVISION" of its own; the comparison of a change with the code before it is
#   sudo BENCH_BEFORE=REVISION BENCH_SERVERS=harnow bench/run.sh
# and its table goes to bench/out/table.txt only.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
rounds="${BENCH_ROUNDS:-5}"
servers="${BENCH_SERVERS:-harnow nginx lighttpd}"
before="${BENCH_BEFORE:-}"
export SECONDS_PER_RUN="${BENCH_SECONDS:-3}"
export OUT="$root/bench/out"
export FIXTURE="$OUT/fixture"
export LOADGEN="$OUT/loadgen"
export HARNOW="$root/build-bench/harnow"
begun=$(date +%s)

[ "$(id -u)" -eq 0 ] || { echo "bench/run.sh needs root (network namespaces, port 80)" >&2; exit 1; }

# Installing a server package must not start it on this machine's own network.
source "$root/scripts/packages.sh"
policy=/usr/sbin/policy-rc.d
ownPolicy=""
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod +x "$policy" && ownPolicy=1
fi
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    # Another apt-get may hold the lock for a while.
    install_missing "${BUILD_PACKAGES[@]}" nginx lighttpd python3 iproute2 util-linux procps \
        gnuplot-nox &&
        break
    [ "$attempt" -lt 10 ] || exit 1
    sleep 15
done
[ -z "$ownPolicy" ] || rm -f "$policy"

mkdir -p "$OUT"
echo "building Harnow (Release) and the load generator"
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build-bench" --target harnow -j2 >/dev/null
g++ -O2 -std=c++17 -pthread -Wall -Wextra -o "$LOADGEN" "$here/loadgen.cpp" "$here/load_worker.cpp"
for revision in $before; do
    echo "building Harnow (Release) at $revision"
    rm -rf "$OUT/before-src"
    git -C "$root" worktree add -f --detach "$OUT/before-src" "$revision" >/dev/null 2>&1
    cmake -S "$OUT/before-src" -B "$OUT/build-$revision" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$OUT/build-$revision" --target harnow -j2 >/dev/null
    git -C "$root" worktree remove --force "$OUT/before-src"
    cp "$OUT/build-$revision/harnow" "$OUT/harnow-$revision"
    servers="harnow-$revision $servers"
done

# The fixture: a page, a picture, a video and a directory of 1000 pages. Kept between runs.
makeFile() { # NAME BYTES
    [ "$(stat -c %s "$FIXTURE/$1" 2>/dev/null || echo -1)" = "$2" ] ||
        head -c "$2" /dev/urandom >"$FIXTURE/$1"
}
mkdir -p "$FIXTURE/list"
makeFile small.html 1024
makeFile medium.jpg 102400
makeFile large.mp4 268435456
for i in $(seq -w 1 1000); do
    [ -e "$FIXTURE/list/page$i.html" ] || echo "<p>page $i</p>" >"$FIXTURE/list/page$i.html"
done

# Every server runs as root here (in its own network namespace), so a clone in a private home
# directory serves just as well.
cat >"$OUT/nginx.conf" <<EOF
user root;
worker_processes auto;
daemon off;
pid $OUT/nginx.pid;
events { worker_connections 4096; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    server {
        listen 80;
        root $FIXTURE;
        location / { autoindex on; }
    }
}
EOF
cat >"$OUT/lighttpd.conf" <<EOF
server.document-root = "$FIXTURE"
server.port = 80
server.errorlog = "$OUT/lighttpd-error.log"
server.pid-file = "$OUT/lighttpd.pid"
server.max-fds = 8192
server.max-connections = 4096
server.modules = ( "mod_dirlisting" )
dir-listing.activate = "enable"
mimetype.assign = ( ".html" => "text/html", ".jpg" => "image/jpeg", ".mp4" => "video/mp4" )
EOF

: >"$OUT/results.txt"
: >"$OUT/raw.txt"
load="$(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 1 "$rounds"); do
    for server in $servers; do
        echo "round $round/$rounds: $server"
        unshare -n bash "$here/scenario.sh" "$server" "$round" >>"$OUT/results.txt"
    done
done

python3 "$here/table.py" "$OUT/results.txt" --rounds "$rounds" --seconds "$SECONDS_PER_RUN" \
    --load "$load" --elapsed "$(($(date +%s) - begun))" | tee "$OUT/table.txt"
# The committed table and its chart follow the latest run beside the peers.
if [ -z "$before" ]; then
    cp "$OUT/table.txt" "$here/table.txt"
    "$here/chart.sh" "$here/table.txt" >/dev/null
fi
