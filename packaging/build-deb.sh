#!/usr/bin/env bash
# Builds the Debian package from a Release build of its own, with Debian's hardening flags:
# build-package/harnow_<version>_<arch>.deb (HARNOW_BUILD_DIR names another folder). Prints the
# package's path. HARNOW_ARM_ARCH=arm64 or armhf cross-builds the package for that machine
# (scripts/build-arm.sh), in build-package-<arch>/. The same sources give the same bytes: the
# times in the package are SOURCE_DATE_EPOCH, or the last commit's (packaging/source-date.cmake).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/packages.sh"
# dpkg-dev computes Depends (dpkg-shlibdeps); CPack finds the executables with file.
install_missing "${BUILD_PACKAGES[@]}" dpkg-dev file >&2
arch="${HARNOW_ARM_ARCH:-}"
tree="${HARNOW_BUILD_DIR:-$here/build-package${arch:+-$arch}}"
configure=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr)
hardened_flags configure "$here" "${arch:-$(dpkg --print-architecture)}"
rm -f "$tree"/harnow_*.deb
if [ -z "$arch" ]; then
    cmake -S "$here" -B "$tree" "${configure[@]}" >/dev/null
    cmake --build "$tree" -j"$(nproc)" >&2
    (cd "$tree" && cpack >&2)
else
    HARNOW_BUILD_DIR="$tree" "$here/scripts/build-arm.sh" "${configure[@]}" >&2
    # dpkg-shlibdeps finds no C library of that machine installed here: it reads the versions
    # of the symbols from the sysroot's libc6 package instead.
    shlibs="$(mktemp -d)"
    mkdir "$shlibs/debian"
    printf 'Source: harnow\n\nPackage: harnow\nArchitecture: any\n' >"$shlibs/debian/control"
    depends="$(cd "$shlibs" && DEB_HOST_ARCH="$arch" dpkg-shlibdeps -O \
        -S"$tree/sysroot/libc6" "$tree/harnow" | sed -n 's/^shlibs:Depends=//p')"
    rm -rf "$shlibs"
    [ -n "$depends" ] || { echo "build-deb.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
    (cd "$tree" && cpack -D CPACK_DEBIAN_PACKAGE_DEPENDS="$depends" >&2)
fi
ls "$tree"/harnow_*.deb
