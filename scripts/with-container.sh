#!/usr/bin/env bash
# Usage: with-container.sh DIR COMMAND...
# Boots a minimal Debian 12 under systemd-nspawn, with its own systemd as PID 1 and a private
# network, and runs COMMAND in the container's network namespace, with HARNOW_CONTAINER set to
# the host's number of the container's PID 1: `nsenter -t "$HARNOW_CONTAINER" -m -u -i -n -p
# -C -r -w CMD` runs CMD inside. Then powers the container off, whatever COMMAND did, and exits
# with COMMAND's status. Installs what is missing.
# The root is made once by debootstrap, from the archive apt already uses, and kept in
# DIR/root; each boot writes to a throw-away layer over it (--volatile=overlay), so every run
# starts from the same system.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/packages.sh"
dir="$(mkdir -p "$1" && cd "$1" && pwd)"
shift
install_missing debootstrap systemd-container util-linux
root="$dir/root"

if [ ! -x "$root/lib/systemd/systemd" ]; then
    debian_root "$dir" bookworm systemd,systemd-sysv,dbus,curl
fi

# Polls (every 0.1 s, for at most $1 s) until the command after it succeeds.
poll() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# Runs a command in the container, for at most $1 seconds.
inside() { timeout "$1" nsenter -t "$init" -m -u -i -n -p -C -r -w "${@:2}"; }

# The container's PID 1 is the child of nspawn that is PID 1 in a namespace of its own.
find_init() {
    local child
    for child in $(cat /proc/"$nspawn"/task/*/children 2>/dev/null); do
        if grep -qE '^NSpid:\s+[0-9]+\s+1$' "/proc/$child/status" 2>/dev/null; then
            init="$child"
            return 0
        fi
    done
    return 1
}

# Too early it answers "offline" (no bus yet) or "starting"; a unit that fails makes it
# "degraded", which is still a booted system.
booted() {
    local state
    state="$(inside 5 systemctl is-system-running 2>/dev/null)" || true
    [ "$state" = running ] || [ "$state" = degraded ]
}

nspawn_alive() { kill -0 "$nspawn" 2>/dev/null; }
nspawn_gone() { ! nspawn_alive; }

power_off() {
    if nspawn_alive; then
        [ -z "$init" ] || inside 10 systemctl poweroff >/dev/null 2>&1 || true
        poll 30 nspawn_gone || { kill -TERM "$nspawn" 2>/dev/null || true; poll 10 nspawn_gone; } ||
            kill -KILL "$nspawn" 2>/dev/null || true
    fi
    wait "$nspawn" 2>/dev/null || true
}

init=""
systemd-nspawn -D "$root" -b --private-network --register=no --keep-unit --console=passive \
    --volatile=overlay >"$dir/console.log" 2>&1 &
nspawn=$!
trap power_off EXIT
trap 'exit 130' INT TERM HUP
if ! poll 30 find_init || ! poll 60 booted; then
    echo "with-container.sh: the container did not boot in time; its console:" >&2
    tail -n 30 "$dir/console.log" >&2
    exit 1
fi
status=0
HARNOW_CONTAINER="$init" nsenter -t "$init" -n -- "$@" || status=$?
exit $status
