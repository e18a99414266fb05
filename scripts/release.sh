#!/usr/bin/env bash
# Makes a release of the commit checked out, into dist/:
#   harnow-VERSION.tar.gz        the sources (git archive)
#   harnow_VERSION_amd64.deb     the Debian package
#   harnow_VERSION_arm64.deb     the same for 64-bit ARM (Raspberry Pi OS 64-bit)
#   harnow_VERSION_armhf.deb     the same for 32-bit ARM (Raspberry Pi OS 32-bit)
#   harnow-VERSION-linux-x86_64.tar.gz   one static program for any Linux, 64-bit PC
#   harnow-VERSION-linux-aarch64.tar.gz  the same for 64-bit ARM
#   harnow-VERSION-linux-armv7.tar.gz    the same for 32-bit ARMv7
#   harnow-VERSION-oci.tar       the container image of the x86_64 one (podman or docker load)
#   harnow-VERSION-win64.zip     Windows, 64-bit
#   harnow-VERSION-win32.zip     Windows, 32-bit. Both are checked here, not run: ./test.sh
#                                tests them under Debian's Wine 8.0, the 64-bit one under
#                                wine64 (HARNOW_STAGES=windows ./test.sh), the 32-bit one under
#                                the 32-bit Wine of an i386 root (HARNOW_STAGES=windows32)
#   BUILDINFO                    for each of them, the Debian packages that went into it and
#                                the package indexes left out while they were fetched
#   SHA256SUMS                   of the eleven
# VERSION is the one in project() of CMakeLists.txt. Every time inside them is the last
# commit's (SOURCE_DATE_EPOCH) and no path of this folder gets in, so releasing one commit
# twice, in any folder at any time, gives the same bytes; each package is built a second time
# from the source tarball and must come out the same, and lintian must find nothing in it.
# Refuses a checkout with changes. Builds in build-release/, kept for the next release (Boost
# for Windows is built there once, the ARM sysroots are fetched there once).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

fail() {
    echo "release.sh: $*" >&2
    exit 1
}

if [ -n "$(git status --porcelain)" ]; then
    git status --short >&2
    fail "the checkout has changes: a release is made from a commit, so commit or remove them"
fi
source scripts/packages.sh
# binutils: strings and readelf; unzip: to check the programs in the zips.
install_missing binutils unzip lintian
SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022
version="$(sed -n 's/^project(harnow VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || fail "no version in project() of CMakeLists.txt"
files=("harnow-$version.tar.gz" "harnow_${version}_amd64.deb" "harnow_${version}_arm64.deb"
    "harnow_${version}_armhf.deb" "harnow-$version-linux-x86_64.tar.gz"
    "harnow-$version-linux-aarch64.tar.gz" "harnow-$version-linux-armv7.tar.gz"
    "harnow-$version-oci.tar" "harnow-$version-win64.zip" "harnow-$version-win32.zip")
for file in "${files[@]}"; do
    grep -qF "$file" README.md || fail "README.md's download lines do not name $file"
done

# BUILDINFO, for one file: the versions of this machine's packages named and of those its build
# fetched (the fetched.txt of scripts/build-arm.sh and scripts/build-windows.sh), with the
# indexes left out then. Two releases of one commit that differ can be told apart by it.
buildinfo() { # FILE FETCHED.TXT|"" PACKAGE...
    echo "$1"
    dpkg-query -W -f='  ${Package} ${Version} ${Architecture}\n' "${@:3}"
    [ -z "$2" ] || sed 's/^/  /' "$2"
}

# BUILDINFO of a Linux build of Debian's architecture ARCH in TREE: its compiler, the C and C++
# libraries, which are the compiler's, and Boost, on ARM the sysroot's; and the packages named.
linux_buildinfo() { # FILE ARCH TRIPLE TREE PACKAGE...
    if [ "$2" = amd64 ]; then
        buildinfo "$1" "" cmake binutils g++-12 libstdc++-12-dev libc6-dev libboost1.74-dev \
            libboost-filesystem1.74-dev libboost-thread1.74-dev "${@:5}"
    else
        buildinfo "$1" "$4/sysroot/fetched.txt" cmake "binutils-$3" "g++-12-$3" \
            "libstdc++-12-dev-$2-cross" "libc6-dev-$2-cross" "${@:5}"
    fi >>"$dist/BUILDINFO"
}

# Runs a build step with its output in build-release/NAME.log, shown when it fails.
logged() { # NAME COMMAND...
    local log="$here/build-release/$1.log"
    shift
    "$@" >"$log" 2>&1 || { tail -n 40 "$log" >&2; fail "failed; its output is in $log"; }
}

# A program that names the folder it was built in would differ from a build elsewhere.
check_paths() { # NAME PROGRAM
    if strings -a "$2" | grep -F "$here"; then
        fail "$1 holds the path of the folder it was built in (above)"
    fi
}

dist="$here/dist"
rm -rf "$dist" && mkdir -p "$dist" "$here/build-release"
echo "== $version, commit $(git log -1 --format='%h of %cd' --date=iso-strict-local)"

echo "== ${files[0]}"
echo "${files[0]}: git commit $(git rev-parse HEAD)" >"$dist/BUILDINFO"
# Modes 644 and 755 and the text as committed, whatever the local git configuration says.
git -c tar.umask=0022 -c core.autocrlf=false archive --format=tar --prefix="harnow-$version/" \
    HEAD | gzip -9n >"$dist/${files[0]}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unpacked="$work/harnow-$version"
tar -xzf "$dist/${files[0]}" -C "$work"

# Each package: Debian's architecture, the GNU triple of its compilers, and what readelf -h must
# say of its program (the machine; on armhf the hard-float calling convention too). The program may need no library
# but the C library and its loader. The source tarball must give the same package as this
# checkout: it is the source it claims.
for build in "amd64:x86_64-linux-gnu:Machine: Advanced Micro Devices X86-64" \
    "arm64:aarch64-linux-gnu:Machine: AArch64" \
    "armhf:arm-linux-gnueabihf:Machine: ARM .*hard-float ABI"; do
    IFS=: read -r arch triple machine <<<"$build"
    name="harnow_${version}_$arch.deb"
    echo "== $name"
    cross=()
    tree="$here/build-release/deb-$arch"
    [ "$arch" = amd64 ] || cross=(HARNOW_ARM_ARCH="$arch")
    logged "deb-$arch" env "${cross[@]}" HARNOW_BUILD_DIR="$tree" packaging/build-deb.sh
    deb="$tree/$name"
    [ -f "$deb" ] || fail "packaging/build-deb.sh made no $deb"
    linux_buildinfo "$name" "$arch" "$triple" "$tree" dpkg-dev
    cp "$deb" "$dist/"
    logged "lintian-$arch" lintian --fail-on error,warning "$deb"
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/harnow >"$work/harnow"
    readelf -h "$work/harnow" | sed 's/ \{2,\}/ /g' | tr '\n' ' ' | grep -q "$machine" ||
        fail "the harnow of $name is no program for $arch"
    if readelf -d "$work/harnow" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
        grep -vxE 'libc\.so\.6|ld-linux-[a-z0-9-]+\.so\.[0-9]+'; then
        fail "the harnow of $name needs the libraries above, beside the C library"
    fi
    check_paths "the harnow of $name" "$work/harnow"
    logged "deb-$arch-from-tarball" env -u SOURCE_DATE_EPOCH "${cross[@]}" \
        "$unpacked/packaging/build-deb.sh"
    cmp -s "$deb" "$unpacked/build-package${cross:+-$arch}/$name" ||
        fail "the package built from ${files[0]} differs from $deb"
done

# Each fully static program, for any Linux of its machine, from the packages' compilers, C
# libraries and Boost: Debian's architecture, the CPU in the tarball's name, the GNU triple.
# The program must be for that machine and ask for no loader and no library.
for build in amd64:x86_64:x86_64-linux-gnu arm64:aarch64:aarch64-linux-gnu \
    armhf:armv7:arm-linux-gnueabihf; do
    IFS=: read -r arch cpu triple <<<"$build"
    name="harnow-$version-linux-$cpu.tar.gz"
    echo "== $name"
    tree="$here/build-release/static-$arch"
    static=(-DCMAKE_BUILD_TYPE=Release -DHARNOW_FULLY_STATIC=ON)
    hardened_flags static "$here" "$arch"
    if [ "$arch" = amd64 ]; then
        logged "static-$arch" cmake -S "$here" -B "$tree" "${static[@]}"
    else
        logged "static-$arch" env HARNOW_ARM_ARCH="$arch" HARNOW_BUILD_DIR="$tree" \
            scripts/build-arm.sh "${static[@]}"
    fi
    logged "static-$arch-tar" cmake --build "$tree" --target package
    cp "$tree/$name" "$dist/"
    linux_buildinfo "$name" "$arch" "$triple" "$tree" dpkg-dev tar gzip
    tar -xzOf "$dist/$name" "${name%.tar.gz}/harnow" >"$work/harnow-$cpu"
    tests/support/static_program.sh "$work/harnow-$cpu" "$cpu" >/dev/null ||
        fail "the harnow of $name is no static program for $cpu"
    check_paths "the harnow of $name" "$work/harnow-$cpu"
done

image="harnow-$version-oci.tar"
echo "== $image"
logged image scripts/build-image.sh "$work/harnow-x86_64" "$dist/$image"
{
    buildinfo "$image" "" buildah jq tar
    echo "  the harnow of harnow-$version-linux-x86_64.tar.gz"
} >>"$dist/BUILDINFO"

# Each Windows build: arch, zip suffix, objdump's name of its format.
for build in x86_64:win64:pei-x86-64 i686:win32:pei-i386; do
    IFS=: read -r arch suffix format <<<"$build"
    zip="harnow-$version-$suffix.zip"
    echo "== $zip"
    tree="$here/build-release/$suffix"
    logged "$suffix" env HARNOW_WIN_ARCH="$arch" HARNOW_BUILD_DIR="$tree" \
        scripts/build-windows.sh -DCMAKE_BUILD_TYPE=Release
    logged "$suffix-zip" cmake --build "$tree" --target package
    cp "$tree/$zip" "$dist/"
    # Boost's headers are this machine's, its libraries built from the source package fetched.
    mingw="mingw-w64-${arch//_/-}"
    buildinfo "$zip" "$tree/boost/download/fetched.txt" cmake zip "binutils-$mingw" \
        "g++-$mingw-posix" "gcc-$mingw-posix-runtime" "$mingw-dev" libboost1.74-dev \
        >>"$dist/BUILDINFO"
    unzip -p "$dist/$zip" harnow.exe >"$work/harnow.exe"
    objdump="$arch-w64-mingw32-objdump"
    "$objdump" -f "$work/harnow.exe" | grep -q "file format $format$" ||
        fail "harnow.exe of $zip is no $format program"
    tests/support/system_dlls_only.sh "$objdump" "$work/harnow.exe" >/dev/null ||
        fail "harnow.exe of $zip needs a DLL that Windows does not ship"
    check_paths "harnow.exe of $zip" "$work/harnow.exe"
done

(cd "$dist" && sha256sum -- "${files[@]}" BUILDINFO >SHA256SUMS && sha256sum --quiet -c SHA256SUMS)
echo "== $dist"
cat "$dist/SHA256SUMS"
