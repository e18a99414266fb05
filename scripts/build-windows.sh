#!/usr/bin/env bash
# Cross-builds Harnow for Windows from Debian: build-win64/harnow.exe, statically linked
# (HARNOW_WIN_ARCH=i686 gives the 32-bit build in build-win32/; HARNOW_BUILD_DIR names another
# folder). Installs what is missing.
# Boost.Filesystem and Boost.Thread are compiled for the target from Debian's boost1.74
# source package, fetched through an apt configuration of the build folder's own (the
# machine's apt sources are left as they are) and kept there for later builds.
# Extra arguments go to CMake's configure step (e.g. -DBUILD_TESTING=ON).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/packages.sh"
arch="${HARNOW_WIN_ARCH:-x86_64}"
case "$arch" in
x86_64) out="${HARNOW_BUILD_DIR:-$here/build-win64}" ;;
i686) out="${HARNOW_BUILD_DIR:-$here/build-win32}" ;;
*) echo "HARNOW_WIN_ARCH is x86_64 or i686" >&2; exit 2 ;;
esac
# zip: the package target packs the zip with it.
install_missing "g++-mingw-w64-${arch//_/-}-posix" cmake make libboost1.74-dev xz-utils zip
toolchain=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" -DHARNOW_MINGW_ARCH="$arch")

boost="$out/boost"
if [ ! -d "$boost/src/boost" ] || [ ! -f "$boost/download/fetched.txt" ]; then
    mkdir -p "$boost/download"
    if [ ! -f "$boost/download/fetched.txt" ]; then
        write_source_list "$boost/apt" deb-src
        update_indexes "$boost/apt/left-out" private_apt "$boost/apt"
        (cd "$boost/download" &&
            fetch_packages private_apt "$boost/apt" source --download-only -qq -- boost1.74 &&
            ls ./*.dsc | sed 's|^\./\(.*\)_\(.*\)\.dsc$|\1 \2 source|' |
            fetched "$boost/apt/left-out" >fetched.txt)
    fi
    rm -rf "$boost/src.partial" && mkdir -p "$boost/src.partial" "$boost/include"
    tar -xf "$boost"/download/boost1.74_*.orig.tar.* -C "$boost/src.partial" \
        boost/libs/filesystem/src boost/libs/thread/src
    rm -rf "$boost/src" && mv "$boost/src.partial" "$boost/src"
    # The headers are the machine's; a folder of their own keeps /usr/include out of the
    # cross compiler's search path.
    ln -sfn /usr/include/boost "$boost/include/boost"
fi
# Built once, then again only when its build rules change.
[ -f "$boost/lib/BoostConfig.cmake" ] ||
    echo "building Boost.Filesystem and Boost.Thread for $arch-w64-mingw32 in $boost ..." >&2
cmake -S "$here/cmake/boost" -B "$boost/lib" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DBOOST_SOURCE="$boost/src/boost" -DBOOST_HEADERS="$boost/include" >/dev/null
cmake --build "$boost/lib" -j"$(nproc)" >/dev/null

cmake -S "$here" -B "$out" "${toolchain[@]}" -DBoost_DIR="$boost/lib" -DBUILD_TESTING=OFF "$@" \
    >/dev/null
cmake --build "$out" -j"$(nproc)"
