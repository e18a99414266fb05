#!/usr/bin/env bash
# One round of measurements of one server, run by run.sh inside a private network namespace
# (unshare -n): brings loopback up, starts the server on port 80, measures, stops it by pid.
# Prints "SERVER ROUND FIGURE VALUE" lines on stdout.
#   scenario.sh SERVER ROUND
# Environment (set by run.sh): FIXTURE OUT LOADGEN HARNOW SECONDS_PER_RUN
set -euo pipefail
server="$1"
round="$2"

ip link set lo up
# Our namespace only: room for tens of thousands of short connections.
sysctl -qw net.ipv4.ip_local_port_range="10000 65000"
ulimit -n 8192

emit() { echo "$server $round $1 $2"; }

# The server's processes: the one we started and its children (nginx workers).
tree() {
    echo "$1"
    local child
    for child in $(ps -o pid= --ppid "$1"); do tree "$child"; done
}
statusSum() { # FIELD: sum of /proc/PID/status FIELD over the tree
    local sum=0 pid value
    for pid in $(tree "$serverPid"); do
        value=$(awk -v f="$1:" '$1 == f { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
        sum=$((sum + ${value:-0}))
    done
    echo "$sum"
}
established() { ss -Htn state established '( sport = :80 )' | wc -l; }
cpuTicks() { # user + system CPU of the server's processes, in clock ticks
    local sum=0 pid fields
    for pid in $(tree "$serverPid"); do
        read -ra fields < <(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null || echo)
        sum=$((sum + ${fields[11]:-0} + ${fields[12]:-0}))
    done
    echo "$sum"
}

case "$server" in
harnow)
    (cd "$FIXTURE" && exec "$HARNOW" >/dev/null 2>"$OUT/harnow-stderr.log") &
    ;;
harnow-*)
    # An earlier revision, built by run.sh (BENCH_BEFORE).
    (cd "$FIXTURE" && exec "$OUT/$server" >/dev/null 2>"$OUT/$server-stderr.log") &
    ;;
nginx)
    nginx -e "$OUT/nginx-error.log" -c "$OUT/nginx.conf" &
    ;;
lighttpd)
    lighttpd -D -f "$OUT/lighttpd.conf" &
    ;;
*)
    echo "unknown server $server" >&2
    exit 2
    ;;
esac
serverPid=$!

stop() {
    local pids pid
    pids=$(tree "$serverPid")
    kill -TERM "$serverPid" 2>/dev/null || true
    for _ in $(seq 1 50); do
        kill -0 "$serverPid" 2>/dev/null || break
        sleep 0.1
    done
    for pid in $pids; do kill -KILL "$pid" 2>/dev/null || true; done
    wait "$serverPid" 2>/dev/null || true
}
trap stop EXIT

"$LOADGEN" wait -d 10 || { echo "$server did not start" >&2; exit 1; }

run() { # FIGURE-PREFIX loadgen-run-arguments...: emits the figures of one run
    local prefix="$1" line ticks requests
    shift
    ticks=$(cpuTicks)
    line=$("$LOADGEN" run "$@")
    ticks=$(($(cpuTicks) - ticks))
    echo "$server $round $prefix $line" >>"$OUT/raw.txt"
    for pair in $line; do
        case "${pair%%=*}" in
        rps | mbps | p50_ms | p99_ms | max_ms | errors) emit "${prefix}_${pair%%=*}" "${pair#*=}" ;;
        requests) requests="${pair#*=}" ;;
        esac
    done
    # The server's CPU per request: what decides requests/s on a machine that others share.
    [ "${requests:-0}" -eq 0 ] || emit "${prefix}_cpu_us" $((ticks * 1000000 / $(getconf CLK_TCK) / requests))
}

# Warm up (first-touch of files and code), then the idle figures.
"$LOADGEN" run -u /small.html -c 4 -n 200 -d 5 >/dev/null
sleep 0.5
emit rss_idle_kib "$(statusSum VmRSS)"
emit threads_idle "$(statusSum Threads)"

# 500 idle connections, opened at a pace a short listen backlog can take, held for the
# reading. Harnow drops a connection that stays silent for 20 s, so this ends well before.
# Without SYN cookies for this part: a cookie handshake whose last ACK meets a full accept
# queue is forgotten by the server, and a client that sends nothing never finds out. Without
# them the server keeps the half-open connection and retries until it is accepted.
sysctl -qw net.ipv4.tcp_syncookies=0
"$LOADGEN" hold -c 500 -r 2000 -W 32 -d 18 >"$OUT/hold.txt" &
holdPid=$!
holdStart=$(date +%s%N)
for _ in $(seq 1 120); do
    [ "$(established)" -ge 500 ] && break
    sleep 0.1
done
emit hold_ms $((($(date +%s%N) - holdStart) / 1000000))
sleep 0.5
held=$(established)
emit held "$held"
# A round whose 500 did not all get in gives no memory figure rather than a wrong one.
if [ "$held" -ge 500 ]; then
    emit rss_held_kib "$(statusSum VmRSS)"
    emit threads_held "$(statusSum Threads)"
fi
kill -TERM "$holdPid" 2>/dev/null || true
wait "$holdPid" 2>/dev/null || true
sysctl -qw net.ipv4.tcp_syncookies=1
sleep 1

run small -u /small.html -c 50 -d "$SECONDS_PER_RUN"
run medium -u /medium.jpg -c 50 -d "$SECONDS_PER_RUN"
run large -u /large.mp4 -c 1 -n 2 -d 60
run range -u /large.mp4 -H "Range: bytes=-1048576" -s 206 -c 1 -n 20 -d 20
run listing -u /list/ -c 50 -d "$SECONDS_PER_RUN"
sleep 0.5
emit rss_after_kib "$(statusSum VmRSS)"
