#!/usr/bin/env bash
# in_root.sh BASE PROGRAM [ARGUMENTS...]: runs a program as a fully static build runs on another
# system, in a root of its own that holds the working directory (at its own path, so paths show
# as outside) and the leading arguments that are executable files (an emulator, the program),
# at its top. BASE is "-" for a root with nothing else (no /dev, /etc, /proc, /lib), or the
# root of a system, seen through a throw-away layer. LANG=C.UTF-8 is set, for which such a
# root has no locale files. Every step execs, so the caller's process becomes the program's.
set -euo pipefail
if [ -z "${IN_ROOT_MOUNTS:-}" ]; then
    IN_ROOT_MOUNTS=1 exec unshare --mount "$0" "$@"
fi
base="$1"
shift
cd -P .
served="$PWD"
mount -t tmpfs -o mode=0755 in_root /mnt
root=/mnt/root
mkdir "$root"
if [ "$base" != - ]; then
    mkdir /mnt/upper /mnt/work
    mount -t overlay overlay -o lowerdir="$base",upperdir=/mnt/upper,workdir=/mnt/work "$root"
fi
mkdir -p "$root$served"
mount --bind . "$root$served"
run=()
while [ $# -gt 0 ] && [ -f "$1" ] && [ -x "$1" ]; do
    touch "$root/${1##*/}"
    mount --bind "$1" "$root/${1##*/}"
    run+=("/${1##*/}")
    shift
done
exec env -u LC_ALL -u IN_ROOT_MOUNTS LANG=C.UTF-8 unshare --root="$root" --wd="$served" \
    "${run[@]}" "$@"
