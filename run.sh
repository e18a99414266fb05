#!/usr/bin/env bash
# Builds Harnow if needed and serves the directory this script is started from.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scripts/packages.sh"
install_missing "${BUILD_PACKAGES[@]}"
echo "building Harnow in $here/build ..." >&2
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$here/build" --target harnow -j"$(nproc)" >/dev/null
exec "$here/build/harnow"
