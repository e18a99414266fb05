#!/usr/bin/env bash
# Smoke check of the load generator against the real server (CTest runs it in a private
# network namespace): every mode completes, counts what it should, and stops by itself.
#   smoke.sh LOADGEN HARNOW
set -euo pipefail
loadgen="$1"
harnow="$2"
dir="$(mktemp -d)"
pid=""
cleanup() {
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT
head -c 1024 /dev/zero | tr '\0' x >"$dir/page.html"
mkdir "$dir/list" && : >"$dir/list/a.html" && : >"$dir/list/b.html"
(cd "$dir" && exec "$harnow" >/dev/null) &
pid=$!
"$loadgen" wait -d 10

expect() { # WANTED LINE: WANTED is a key=value that LINE must hold
    [[ " $2 " == *" $1 "* ]] || { echo "expected $1 in: $2" >&2; exit 1; }
}
line=$("$loadgen" run -u /page.html -c 4 -n 200 -d 10)
expect requests=200 "$line" && expect errors=0 "$line" && expect short_bodies=0 "$line"
line=$("$loadgen" run -u /page.html -H "Range: bytes=-100" -s 206 -c 1 -n 5 -d 10)
expect requests=5 "$line" && expect errors=0 "$line"
line=$("$loadgen" run -u /list/ -c 2 -n 10 -d 10)
expect requests=10 "$line" && expect errors=0 "$line"
# A reply with another status is an error, not a completed request.
line=$("$loadgen" run -u /missing.html -c 1 -n 3 -d 10 || true)
expect requests=0 "$line" && expect bad_status=3 "$line"
# hold reports once all are open (a SYN that a full backlog dropped is retried after 1 s or
# 3 s), then would keep them until its deadline: stop it as soon as it has reported.
"$loadgen" hold -c 20 -r 500 -W 4 -d 8 >"$dir/hold.txt" &
holdPid=$!
for _ in $(seq 1 90); do
    grep -q held= "$dir/hold.txt" && break
    sleep 0.1
done
kill "$holdPid" 2>/dev/null || true
wait "$holdPid" 2>/dev/null || true
expect held=20 "$(cat "$dir/hold.txt")"
echo "loadgen smoke check passed"
