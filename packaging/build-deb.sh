#!/usr/bin/env bash
# Builds the Debian package from a Release build of its own, with Debian's hardening flags:
# build-package/harnow_<version>_<arch>.deb (HARNOW_BUILD_DIR names another folder). Prints the
# package's path. The same sources give the same bytes: the times in the package are
# SOURCE_DATE_EPOCH, or the last commit's (packaging/source-date.cmake).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/packages.sh"
# dpkg-dev computes Depends (dpkg-shlibdeps); CPack finds the executables with file.
install_missing "${BUILD_PACKAGES[@]}" dpkg-dev file >&2
tree="${HARNOW_BUILD_DIR:-$here/build-package}"
# From the source folder: dpkg-buildflags maps the folder it runs in out of the debug paths.
flags() {
    (cd "$here" && DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=+all" \
        dpkg-buildflags --get "$1")
}
cmake -S "$here" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$tree" -j"$(nproc)" >&2
rm -f "$tree"/harnow_*.deb
(cd "$tree" && cpack >&2)
ls "$tree"/harnow_*.deb
