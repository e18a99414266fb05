#!/bin/sh
# static_program.sh PROGRAM CPU: fails unless PROGRAM is a Linux program for CPU (x86_64,
# aarch64, or armv7 with the hard-float calling convention) that asks for no loader and needs
# no library: a fully static build, which runs on any Linux of that machine.
set -eu
case "$2" in
x86_64) machine="Machine: Advanced Micro Devices X86-64" ;;
aarch64) machine="Machine: AArch64" ;;
armv7) machine="Machine: ARM .*hard-float ABI" ;;
*) echo "static_program.sh: no such CPU: $2" >&2 && exit 2 ;;
esac
fail() { echo "$1 $2" >&2 && exit 1; }
readelf -h "$1" | sed 's/ \{2,\}/ /g' | tr '\n' ' ' | grep -q "$machine" ||
    fail "$1" "is no program for $2"
[ "$2" != armv7 ] || readelf -A "$1" | grep -q "Tag_CPU_arch: v7$" || fail "$1" "is not for ARMv7"
! readelf -lW "$1" | grep -q "^ *INTERP " || fail "$1" "asks for a loader"
! readelf -d "$1" | grep -F "(NEEDED)" >&2 || fail "$1" "needs the libraries above"
echo "$1: a static program for $2"
