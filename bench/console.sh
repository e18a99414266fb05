#!/usr/bin/env bash
# Two measurements of Harnow against the code of an earlier revision, side by side in one run:
#   - 1 KiB requests with the console going to a file and to a pipe that is read: every
#     request prints a line, so the console writer sits on every request's path;
#   - 2000 idle connections held under a login shell's soft descriptor limit of 1024 (prlimit
#     --nofile=1024:HARD, the hard limit as it is; 524288 on systemd machines) while the
#     1 KiB load runs.
# Run as root:  bench/console.sh  (about four minutes)
# Rounds interleave the two builds; each run has a private network namespace of its own with
# the load generator inside it, and every run is bounded in time. Prints a table and writes it
# to bench/out/console-table.txt.
# Environment: BENCH_ROUNDS (5), BENCH_SECONDS (3, per load run), BENCH_BEFORE (the revision
# to compare with; default d12d3f8, the last whose connections wrote their own console lines).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
OUT="$root/bench/out"
FIXTURE="$OUT/fixture"
LOADGEN="$OUT/loadgen"
seconds="${BENCH_SECONDS:-3}"

emit() { echo "$variant $round $1 $2"; }

# One run, inside its namespace: VARIANT (before|after) CONSOLE (file|pipe|idle) ROUND.
inside() {
    variant="$1" console="$2" round="$3"
    local binary="$OUT/harnow-$variant"
    ip link set lo up
    sysctl -qw net.ipv4.ip_local_port_range="10000 65000"
    ulimit -Sn 8192
    case "$console" in
    file) (cd "$FIXTURE" && exec "$binary" >"$OUT/console.log") & ;;
    pipe) (cd "$FIXTURE" && exec "$binary" > >(exec cat >/dev/null)) & ;;
    idle) (cd "$FIXTURE" && exec prlimit --nofile=1024:"$(ulimit -Hn)" -- "$binary" >/dev/null) & ;;
    esac
    serverPid=$!
    trap 'kill -KILL $serverPid 2>/dev/null || true; wait $serverPid 2>/dev/null || true' EXIT
    "$LOADGEN" wait -d 10 || { echo "harnow-$variant did not start" >&2; exit 1; }
    "$LOADGEN" run -u /small.html -c 4 -n 200 -d 5 >/dev/null
    local holders=()
    if [ "$console" = idle ]; then
        # Four openers of 500 each, one handshake at a time and 100 a second each: a listen
        # backlog of 5 (the code before) drops a burst's SYNs, and each drop stalls its opener
        # for a second. All 2000 are open in about 5 s, and the server drops a silent
        # connection after 20 s, so everything is over before then. No SYN cookies, as in
        # run.sh.
        sysctl -qw net.ipv4.tcp_syncookies=0
        for _ in 1 2 3 4; do
            "$LOADGEN" hold -c 500 -r 100 -W 1 -d 18 >/dev/null &
            holders+=($!)
        done
        for _ in $(seq 1 120); do
            [ "$(ss -Htn state established '( sport = :80 )' | wc -l)" -ge 2000 ] && break
            sleep 0.1
        done
        emit idle_held "$(ss -Htn state established '( sport = :80 )' | wc -l)"
    fi
    local line pair
    # A server that answers nothing in the run makes the load generator fail; its figures
    # still say so (no latency then).
    line=$("$LOADGEN" run -u /small.html -c 50 -d "$seconds" || true)
    [[ " $line" != *" requests=0 "* ]] || line="${line/p99_ms=/no_p99=}"
    for pair in $line; do
        case "${pair%%=*}" in
        rps | p99_ms | errors) emit "${console}_${pair%%=*}" "${pair#*=}" ;;
        esac
    done
    if [ "$console" = idle ]; then
        emit idle_rss_kib "$(awk '$1 == "VmRSS:" { print $2 }' "/proc/$serverPid/status")"
        kill -TERM "${holders[@]}" 2>/dev/null || true
        wait "${holders[@]}" 2>/dev/null || true
    fi
}

if [ "${1:-}" = --inside ]; then
    shift
    inside "$@"
    exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "bench/console.sh needs root (network namespaces)" >&2; exit 1; }
before="${BENCH_BEFORE:-d12d3f8}"
mkdir -p "$FIXTURE"
[ -f "$FIXTURE/small.html" ] || head -c 1024 /dev/urandom >"$FIXTURE/small.html"
echo "building the load generator, and Harnow (Release) at $before and at the working tree"
g++ -O2 -std=c++17 -pthread -Wall -Wextra -o "$LOADGEN" "$here/loadgen.cpp" "$here/load_worker.cpp"
rm -rf "$OUT/before-src"
git -C "$root" worktree add -f --detach "$OUT/before-src" "$before" >/dev/null 2>&1
for variant in before after; do
    source="$root"
    [ "$variant" = after ] || source="$OUT/before-src"
    cmake -S "$source" -B "$OUT/build-$variant" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$OUT/build-$variant" --target harnow -j2 >/dev/null
    rm -f "$OUT/harnow-$variant" && cp "$OUT/build-$variant/harnow" "$OUT/harnow-$variant"
done
git -C "$root" worktree remove --force "$OUT/before-src"

results="$OUT/console-results.txt"
: >"$results"
for round in $(seq 1 "${BENCH_ROUNDS:-5}"); do
    for console in file pipe idle; do
        for variant in before after; do
            echo "round $round: $variant, $console" >&2
            unshare -n "$0" --inside "$variant" "$console" "$round" >>"$results"
        done
    done
done

python3 - "$results" "$before" "$here" <<'EOF' | tee "$OUT/console-table.txt"
import statistics, sys
from collections import defaultdict
sys.path.insert(0, sys.argv[3])
from table import cell

data = defaultdict(lambda: defaultdict(list))
for line in open(sys.argv[1]):
    variant, _, figure, value = line.split()
    data[figure][variant].append(float(value))
rows = [("1 KiB req/s, console to a file", "file_rps", 1),
        ("1 KiB p99 ms, console to a file", "file_p99_ms", 1),
        ("1 KiB req/s, console to a read pipe", "pipe_rps", 1),
        ("1 KiB p99 ms, console to a read pipe", "pipe_p99_ms", 1),
        ("idle connections held of 2000 (soft limit 1024)", "idle_held", 1),
        ("1 KiB req/s beside them", "idle_rps", 1),
        ("1 KiB p99 ms beside them", "idle_p99_ms", 1),
        ("1 KiB errors beside them", "idle_errors", 1),
        ("RSS with them MiB", "idle_rss_kib", 1 / 1024)]
table = [["figure", "before (%s)" % sys.argv[2], "after", "after/before"]]
for label, figure, scale in rows:
    before, after = data[figure]["before"], data[figure]["after"]
    rounds = max(len(before), len(after))
    ratio = statistics.median(after) / statistics.median(before) \
        if before and after and statistics.median(before) else None
    table.append([label, cell([v * scale for v in before], rounds),
                  cell([v * scale for v in after], rounds), "%.2fx" % ratio if ratio else "-"])
widths = [max(len(row[i]) for row in table) for i in range(4)]
for row in table:
    print("  ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in
                    enumerate(zip(row, widths))))
EOF
