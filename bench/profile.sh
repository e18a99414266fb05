#!/usr/bin/env bash
# Where Harnow's time goes per request (1 KiB file, one request per connection):
#   1. user-space instructions per request (valgrind callgrind; repeatable on a busy machine):
#      two runs of N1 and N2 requests, the difference divided by N2 - N1, and the functions;
#   2. system calls per request (strace -c -f over 1000 requests);
#   3. CPU time, context switches and page faults per request under 50 connections
#      (perf stat software events; the hardware counters are not available in every VM).
# Run as root after bench/run.sh (which builds the load generator and the files):
#   bench/profile.sh            writes bench/out/profile.txt and bench/out/callgrind.*.out
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
out="$root/bench/out"
[ -x "$out/loadgen" ] && [ -f "$out/fixture/small.html" ] || { echo "run bench/run.sh first" >&2; exit 1; }
source "$root/scripts/packages.sh"
install_missing valgrind strace linux-perf

# Release with symbols, so the profile names the functions.
cmake -S "$root" -B "$root/build-bench-prof" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="-g -fno-omit-frame-pointer" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build-bench-prof" --target harnow -j2 >/dev/null
export ROOT="$root" HARNOW_PROF="$root/build-bench-prof/harnow" LOADGEN="$out/loadgen" FIXTURE="$out/fixture" OUT="$out"

unshare -n bash -s <<'EOF' | tee "$out/profile.txt"
set -euo pipefail
ip link set lo up
cd "$FIXTURE"
n1=200
n2=2200

callgrindRun() { # REQUESTS: total instructions of a server life serving that many requests
    valgrind --tool=callgrind --callgrind-out-file="$OUT/callgrind.$1.out" "$HARNOW_PROF" \
        >/dev/null 2>"$OUT/callgrind.$1.log" &
    local pid=$!
    "$LOADGEN" wait -d 60 >/dev/null
    "$LOADGEN" run -u /small.html -c 2 -n "$1" -d 120 >/dev/null
    sleep 0.5
    kill -TERM "$pid"
    wait "$pid" || true
    awk '/^summary:|^totals:/ { print $2; exit }' "$OUT/callgrind.$1.out"
}
a=$(callgrindRun $n1)
b=$(callgrindRun $n2)
echo "user-space instructions per request (callgrind): $(((b - a) / (n2 - n1)))"
echo
functions() { # ANNOTATE-OPTIONS...: the function lines of callgrind_annotate
    callgrind_annotate "$@" "$OUT/callgrind.$n2.out" 2>/dev/null |
        awk '/file:function/ { go = 1; next } go && NF { print }' | cut -c1-150 || true
}
echo "self instructions by function over the run of $n2 requests (top 20):"
functions | head -20 || true
echo
echo "inclusive instructions of the project's functions over the same run (top 15):"
functions --inclusive=yes | grep -F "$ROOT/" | head -15 || true
echo

strace -f -c -o "$OUT/strace.txt" "$HARNOW_PROF" >/dev/null 2>&1 &
tracer=$!
"$LOADGEN" wait -d 30 >/dev/null
"$LOADGEN" run -u /small.html -c 2 -n 1000 -d 120 >/dev/null
sleep 0.5
kill -TERM "$(ps -o pid= --ppid $tracer)"
wait "$tracer" || true
echo "system calls per request (strace -c -f, 1000 requests; start-up included):"
awk 'NR > 2 && $NF != "total" && $0 !~ /^---/ { printf "  %-16s %6.2f\n", $NF, $4 / 1000; sum += $4 }
     END { printf "  %-16s %6.2f\n", "all", sum / 1000 }' "$OUT/strace.txt" | sort -k2 -nr | head -24
echo

"$HARNOW_PROF" >/dev/null 2>&1 &
pid=$!
"$LOADGEN" wait -d 30 >/dev/null
"$LOADGEN" run -u /small.html -c 4 -n 500 -d 10 >/dev/null
perf stat -x, -e task-clock,context-switches,cpu-migrations,page-faults -p "$pid" \
    -o "$OUT/perf.txt" -- sleep 3.5 &
perfPid=$!
sleep 0.2
line=$("$LOADGEN" run -u /small.html -c 50 -d 3)
wait "$perfPid" || true
kill -TERM "$pid"
wait "$pid" || true
requests=$(echo "$line" | tr ' ' '\n' | awk -F= '$1 == "requests" { print $2 }')
echo "server CPU per request under 50 connections (perf stat, $requests requests):"
awk -F, -v n="$requests" '$3 ~ /task-clock/ { printf "  CPU time         %6.1f us\n", $1 * 1000 / n }
    $3 ~ /context-switches|cpu-migrations|page-faults/ { printf "  %-16s %6.2f\n", $3, $1 / n }' "$OUT/perf.txt"
echo "  load: $line"
EOF
