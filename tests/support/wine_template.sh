#!/bin/sh
# wine_template.sh TEMPLATE WINE: makes the template prefix once with the Wine loader WINE, in a
# network namespace of its own so that its wineserver never serves a test's programs.
set -eu
template="$1"
[ -f "$template/system.reg" ] && exit 0
rm -rf "$template.new"
mkdir -p "$(dirname "$template")"
unshare --net -- sh -c '
    export WINEPREFIX="$1" WINEDEBUG=-all
    "$2" wineboot --init >/dev/null 2>&1
    "${2%/*}/wineserver" -w' wine_template "$template.new" "$2"
mv "$template.new" "$template"
