#!/bin/sh
# Makes the template Wine prefix in $1 once (wineboot takes a few seconds), inside a network
# namespace of its own so that its wineserver never serves a test's programs.
set -eu
template="$1"
[ -f "$template/system.reg" ] && exit 0
rm -rf "$template.new"
mkdir -p "$(dirname "$template")"
unshare --net -- sh -c '
    export WINEPREFIX="$1" WINEDEBUG=-all
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver -w' wine_template "$template.new"
mv "$template.new" "$template"
