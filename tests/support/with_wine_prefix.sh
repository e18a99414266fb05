#!/bin/sh
# with_wine_prefix.sh TEMPLATE WINE COMMAND...: runs the command with a Wine prefix of its own,
# made from the template prefix (wine_template.sh makes it), under the Wine loader WINE. The
# wineserver beside WINE is started here, so every Windows program the command starts makes its
# sockets in this network namespace; at the end it is stopped and the prefix removed.
set -eu
template="$1"
wine="$2" wineserver="${2%/*}/wineserver"
shift 2
prefix="$(mktemp -d /tmp/harnow-wine-XXXXXX)"
export WINEPREFIX="$prefix" WINEDEBUG=-all
finish() {
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap finish EXIT
trap 'exit 1' INT TERM
# Links for the prefix's DLLs, which are only read; copies of the registry, which is written.
cp -al "$template/." "$prefix"
for hive in "$template"/*.reg; do
    cp --remove-destination "$hive" "$prefix/"
done
# A persistent wineserver, and the prefix's services started once with no terminal or pipe of
# the command's: a program's output then ends when the program does, and it starts at once.
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" cmd /c exit </dev/null >/dev/null 2>&1
"$@"
