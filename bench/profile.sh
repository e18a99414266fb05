#!/usr/bin/env bash
# Where Harnow's time goes per request (1 KiB file, one request per connection):
#   1. user-space instructions per request (valgrind callgrind; repeatable on a busy machine):
#      two runs of N1 and N2 requests, the difference divided by N2 - N1, and the functions;
#   2. system calls per request (strace -c -f over 1000 requests);
#   3. server CPU per request under 50 connections, Harnow and nginx (from /proc/PID/stat);
#   4. where that CPU goes, by system call (perf sampling on all CPUs; software clock, as the
#      hardware counters are not available in every VM).
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

# CPU of the server's processes, user and system, finished threads included.
cpuTicks() { # PID...: clock ticks (1/100 s)
    local sum=0 p
    for p in "$@"; do sum=$((sum + $(awk '{ print $14 + $15 }' "/proc/$p/stat"))); done
    echo "$sum"
}
serverCpu() { # NAME PATH: CPU per request of the running server $serverPids, 50 connections
    local before after line requests
    "$LOADGEN" run -u "$2" -c 4 -n 200 -d 10 >/dev/null
    before=$(cpuTicks $serverPids)
    line=$("$LOADGEN" run -u "$2" -c 50 -d 3)
    after=$(cpuTicks $serverPids)
    requests=$(echo "$line" | tr ' ' '\n' | awk -F= '$1 == "requests" { print $2 }')
    echo "$line" | tr ' ' '\n' | awk -F= -v n="$requests" -v t=$((after - before)) -v who="$1 $2" '
        $1 == "rps" { rps = $2 } $1 == "p99_ms" { p99 = $2 }
        END { printf "  %-22s %7.1f us CPU per request  (%s req/s, p99 %s ms)\n", who, t * 10000 / n, rps, p99 }'
}
echo "server CPU per request under 50 connections (user + system, from /proc/PID/stat):"
"$HARNOW_PROF" >/dev/null 2>&1 &
serverPids=$!
"$LOADGEN" wait -d 30 >/dev/null
serverCpu harnow /small.html
serverCpu harnow /medium.jpg
kill -TERM "$serverPids"
wait "$serverPids" || true
if command -v nginx >/dev/null && [ -f "$OUT/nginx.conf" ]; then
    nginx -e "$OUT/nginx-error.log" -c "$OUT/nginx.conf" &
    master=$!
    "$LOADGEN" wait -d 30 >/dev/null
    serverPids="$master $(ps -o pid= --ppid $master)"
    serverCpu nginx /small.html
    serverCpu nginx /medium.jpg
    kill -TERM "$master"
    wait "$master" || true
fi
echo

# Sampled on all CPUs (following each new thread would slow thread creation itself).
"$HARNOW_PROF" >/dev/null 2>&1 &
pid=$!
"$LOADGEN" wait -d 30 >/dev/null
"$LOADGEN" run -u /small.html -c 4 -n 200 -d 10 >/dev/null
perf record -q -e cpu-clock -F 2000 -a -g -o "$OUT/perf.data" -- sleep 3.3 >/dev/null 2>&1 &
recorder=$!
sleep 0.1
"$LOADGEN" run -u /small.html -c 50 -d 3 >/dev/null
wait "$recorder" || true
kill -TERM "$pid"
wait "$pid" || true
comm=$(basename "$HARNOW_PROF")
total=$(perf report -i "$OUT/perf.data" --comm "$comm" --stdio --sort comm -g none 2>/dev/null |
    awk -v comm="$comm" '$1 ~ /%$/ && $NF == comm { sub("%", "", $1); print $1; exit }')
echo "where the server's CPU goes, 1 KiB under 50 connections (perf samples, inclusive, as a share of"
echo "the server's; the groups overlap: a system call includes the loopback delivery it triggers):"
perf report -i "$OUT/perf.data" --comm "$comm" --children --sort symbol --stdio -g none 2>/dev/null |
    awk -v total="$total" '
    BEGIN {
        n = split("handleConnection|connection threads (request, reply, close)|" \
                  "main|accept loop (accept, thread start)|" \
                  "__send|send (7 per 1 KiB reply)|" \
                  "__GI___shutdown|shutdown (sends what the cork held)|" \
                  "__libc_recv|recv (request; wait for the client to close)|" \
                  "clone3|thread creation|" \
                  "__x64_sys_exit|thread exit|" \
                  "__madvise|stack release at thread exit|" \
                  "__schedule|context switches|" \
                  "accept4|accept|" \
                  "__GI___fstatat64|stat and fstat|" \
                  "__GI___libc_open|open|" \
                  "__close|close|" \
                  "__GI___setsockopt|setsockopt (time limits, cork)", f, "|")
        for (i = 1; i < n; i += 2) { label[f[i]] = f[i + 1]; order[(i + 1) / 2] = f[i] }
        count = n / 2
    }
    $1 ~ /%$/ && ($4 in label) { sub("%", "", $1); share[$4] = $1 * 100 / total }
    END { for (i = 1; i <= count; ++i) if (order[i] in share)
              printf "  %-46s %5.1f%%\n", label[order[i]], share[order[i]] }'
EOF
