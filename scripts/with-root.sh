#!/bin/sh
# with-root.sh ROOT FOLDERS COMMAND...: runs a command of another system's root (the i386 root
# of scripts/wine32-root.sh) through a chroot in a private mount namespace, with /dev, /proc,
# /tmp and the FOLDERS (separated by colons; none when empty) bound at their own paths, so that
# a path means the same inside as outside. It runs in the working directory where the root
# sees it, else in /. Every step execs: the caller's process becomes the command's, and a signal
# to it reaches the command.
set -eu
if [ -z "${WITH_ROOT_MOUNTS:-}" ]; then
    WITH_ROOT_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
fi
root="$1"
folders="$2"
shift 2
IFS=:
for folder in /dev /proc /tmp $folders; do
    mkdir -p "$root$folder"
    mount --rbind "$folder" "$root$folder"
done
unset IFS
wd=/
[ ! -d "$root$PWD" ] || wd="$PWD"
exec env -u WITH_ROOT_MOUNTS unshare --root="$root" --wd="$wd" "$@"
