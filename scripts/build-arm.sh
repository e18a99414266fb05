#!/usr/bin/env bash
# Cross-builds Harnow for ARM Linux from Debian: build-arm64/harnow (HARNOW_ARM_ARCH=armhf gives
# the 32-bit build in build-armhf/; HARNOW_BUILD_DIR names another folder). Installs what is
# missing.
# Boost and GoogleTest are Debian's packages for the target, fetched through an apt
# configuration of the build folder's own and unpacked with dpkg -x into its sysroot/, kept
# there for later builds: the machine's own packages and architectures are left as they are.
# (Inside the build folder, the sysroot's paths in the debug information are the same for a
# build in any folder.)
# Extra arguments go to CMake's configure step (e.g. -DBUILD_TESTING=ON); HARNOW_BUILD_TARGET
# names the one target to build (e.g. harnow alone, in a tree with the tests).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/packages.sh"
arch="${HARNOW_ARM_ARCH:-arm64}"
case "$arch" in
arm64) triple=aarch64-linux-gnu ;;
armhf) triple=arm-linux-gnueabihf ;;
*) echo "HARNOW_ARM_ARCH is arm64 or armhf" >&2; exit 2 ;;
esac
out="${HARNOW_BUILD_DIR:-$here/build-$arch}"
sysroot="$out/sysroot"
install_missing "g++-$triple" cmake make dpkg

# libc6 is not unpacked into the sysroot (the cross compiler has its own C library) but kept
# whole in sysroot/libc6, for dpkg-shlibdeps to read the versions of its symbols.
# sysroot/fetched.txt names each package's version and any index left out when it was fetched
# (scripts/packages.sh), for the release's BUILDINFO.
packages=(libboost1.74-dev libboost-filesystem1.74-dev libboost-thread1.74-dev
    libboost-atomic1.74-dev libgtest-dev libc6)
if [ ! -f "$sysroot/fetched.txt" ]; then
    echo "fetching ${packages[*]} for $arch into $sysroot ..." >&2
    apt="$sysroot.apt"
    write_source_list "$apt" deb
    arch_apt() {
        private_apt "$apt" -o APT::Architecture="$arch" -o APT::Architectures="$arch" "$@"
    }
    rm -rf "$sysroot.partial" "$apt/debs" && mkdir -p "$sysroot.partial" "$apt/debs"
    update_indexes "$apt/left-out" arch_apt
    (cd "$apt/debs" && fetch_packages arch_apt download -qq -- "${packages[@]}")
    for deb in "$apt"/debs/*.deb; do
        case "${deb##*/}" in
        libc6_*) dpkg-deb -R "$deb" "$sysroot.partial/libc6" ;;
        *) dpkg -x "$deb" "$sysroot.partial" ;;
        esac
    done
    for deb in "$apt"/debs/*.deb; do
        dpkg-deb -W --showformat='${Package} ${Version} ${Architecture}\n' "$deb"
    done | fetched "$apt/left-out" >"$sysroot.partial/fetched.txt"
    rm -rf "$sysroot" && mv "$sysroot.partial" "$sysroot"
fi

cmake -S "$here" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/arm-linux.cmake" \
    -DHARNOW_ARM_ARCH="$arch" -DHARNOW_SYSROOT="$sysroot" -DBUILD_TESTING=OFF "$@" >/dev/null
cmake --build "$out" -j"$(nproc)" ${HARNOW_BUILD_TARGET:+--target "$HARNOW_BUILD_TARGET"}
