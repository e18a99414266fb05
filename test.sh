#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test through CTest.
# Then the robustness stages: the whole suite again under AddressSanitizer with
# UndefinedBehaviorSanitizer, the suite under ThreadSanitizer, and each fuzz target for a
# bounded time. (memcheck runs inside the first suite, as the test robust_valgrind.) Then the
# Debian package: built from a Release tree of its own, built again from a copy of the sources
# in another folder and compared byte for byte, checked, installed, run and removed.
# Then the Windows builds, cross-compiled, with their tests: the 64-bit one under wine64, the
# 32-bit one under the 32-bit Wine of an i386 Debian root; the ARM builds with their tests under
# qemu; the fully static builds in roots of their own, and the container image; last the
# package's unit under a real systemd, in a container.
# HARNOW_STAGES picks stages (default
# "main asan tsan fuzz package windows windows32 arm static systemd");
# FUZZ_SECONDS bounds each fuzz target.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" libgtest-dev python3 iproute2 util-linux procps \
    valgrind clang libclang-rt-14-dev
tests/clients/setup.sh

jobs="$(nproc)"
stages="${HARNOW_STAGES:-main asan tsan fuzz package windows windows32 arm static systemd}"
fuzz_seconds="${FUZZ_SECONDS:-60}"
timings=()

wants() { [[ " $stages " == *" $1 "* ]]; }

# Runs a stage and keeps its wall time and result for the summary at the end. A failed
# stage does not stop the later ones; the script fails at the end. (Stage functions report
# failure by their status: errexit does not reach into a command tested with ||.)
failed=0
stage() {
    local name="$1" began=$SECONDS result=passed
    shift
    echo "=== $name"
    "$@" || { result=FAILED; failed=1; }
    timings+=("$(printf '%-34s %5d s  %s' "$name" $((SECONDS - began)) "$result")")
}

# Configures and builds tree $1 with the tests (further arguments go to CMake's configure).
build_tests() {
    local tree="$1"
    shift
    cmake -S . -B "$tree" -DBUILD_TESTING=ON "$@" >/dev/null && cmake --build "$tree" -j"$jobs"
}

# Runs CTest in tree $1 (further arguments go to ctest); finding no tests is a failure.
run_tests() {
    local tree="$1"
    shift
    ctest --test-dir "$tree" --output-on-failure --no-tests=error -j"$jobs" "$@"
}

main_suite() {
    build_tests build && run_tests build
}

# Builds tree $1 with sanitizers $2 and runs CTest there (further arguments go to ctest).
# Reports go to files, so a report from a server process that a test killed is not lost;
# any report fails the stage.
sanitized_suite() {
    local tree="$1" sanitizers="$2"
    shift 2
    build_tests "$tree" -DHARNOW_SANITIZE="$sanitizers" || return 1
    local logs="$here/$tree/sanitizer-reports"
    # Open to all: some tests run the server as an unprivileged user.
    rm -rf "$logs" && mkdir -p "$logs" && chmod 1777 "$logs"
    local status=0
    ASAN_OPTIONS="log_path=$logs/asan:detect_leaks=1:strict_string_checks=1" \
    UBSAN_OPTIONS="log_path=$logs/ubsan:print_stacktrace=1:halt_on_error=1" \
    TSAN_OPTIONS="log_path=$logs/tsan:halt_on_error=0:second_deadlock_stack=1:suppressions=$here/tests/support/tsan.supp" \
        run_tests "$tree" "$@" || status=$?
    if [ -n "$(ls -A "$logs")" ]; then
        echo "sanitizer reports in $logs:" >&2
        head -n 60 "$logs"/* >&2
        status=1
    fi
    return $status
}

# Runs every fuzz target for a bounded time, two at a time, each on a working copy of its
# seed corpus. A crash leaves its input in build-fuzz/artifacts and fails the stage.
fuzz_all() {
    cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null &&
        cmake --build build-fuzz -j"$jobs" || return 1
    # Absolute paths: the handler target serves from a directory of its own.
    local out="$here/build-fuzz"
    mkdir -p "$out/artifacts"
    local running=() status=0
    for target in request range substitute reader handler; do
        mkdir -p "$out/corpus/$target"
        "$out/fuzz_$target" -max_total_time="$fuzz_seconds" -max_len=16384 -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
            "$out/corpus/$target" "$here/fuzz/corpus/$target" >"$out/$target.log" 2>&1 &
        running+=("$target:$!")
        if [ ${#running[@]} -ge "$jobs" ]; then
            fuzz_finished "${running[0]}" || status=1
            running=("${running[@]:1}")
        fi
    done
    for entry in "${running[@]}"; do
        fuzz_finished "$entry" || status=1
    done
    return $status
}

# Waits for one fuzz run ("target:pid") and reports it.
fuzz_finished() {
    local target="${1%%:*}" pid="${1##*:}" log="$here/build-fuzz/${1%%:*}.log"
    if ! wait "$pid"; then
        echo "fuzz_$target failed:"
        tail -n 40 "$log"
        return 1
    fi
    echo "fuzz_$target: $(grep -h "stat::number_of_executed_units" "$log" | sed 's/.*: *//') runs"
}

# Builds the package and runs tests/package/test_package.py on it, which installs it on this
# machine and removes it again. The same sources built in another folder must give the same
# package, byte for byte.
package_suite() {
    install_missing lintian man-db systemd curl || return 1
    # One time for both builds (a copy of the sources has no commit to take it from).
    local -x SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(stat -c %Y CMakeLists.txt)}"
    local deb
    deb="$(packaging/build-deb.sh)" && same_package_elsewhere "$deb" || return 1
    (cd tests/package &&
        HARNOW_DEB="$deb" HARNOW_BINARY=/usr/bin/harnow PYTHONDONTWRITEBYTECODE=1 \
        PYTHONPATH="$here/tests/support:$here/tests/e2e" \
        ../support/in_netns.sh python3 -m unittest -v test_package.Package)
}

# Builds the package from a copy of the sources at another path, and compares it with $1.
same_package_elsewhere() {
    local copy again status=0
    copy="$(mktemp -d /tmp/harnow-elsewhere.XXXXXX)"
    tar -C "$here" --exclude='./build*' --exclude=./dist --exclude=./.git \
        --exclude=node_modules -cf - . | tar -C "$copy" -xf -
    if ! again="$("$copy/packaging/build-deb.sh")"; then
        status=1
    elif ! cmp "$1" "$again"; then
        echo "built in $copy, the package differs; its files, then its program:" >&2
        diff <(dpkg-deb -c "$1") <(dpkg-deb -c "$again") >&2
        cmp <(dpkg-deb --fsys-tarfile "$1" | tar -xO ./usr/bin/harnow) \
            <(dpkg-deb --fsys-tarfile "$again" | tar -xO ./usr/bin/harnow) >&2
        status=1
    else
        echo "the package built in $copy is the same, byte for byte"
    fi
    rm -rf "$copy"
    return $status
}

# A Windows build (scripts/build-windows.sh installs its compiler) and the tests that apply to
# it, each program run under Wine in a Wine prefix of its own: x86_64 (build-win64/) under the
# machine's wine64, i686 (build-win32/) under the 32-bit Wine of an i386 Debian root that
# scripts/wine32-root.sh makes, through a chroot.
windows_suite() { # x86_64|i686
    if [ "$1" = i686 ]; then
        scripts/wine32-root.sh || return 1
    else
        install_missing wine64 || return 1
    fi
    install_missing googletest && HARNOW_WIN_ARCH="$1" scripts/build-windows.sh -DBUILD_TESTING=ON \
        -DHARNOW_GTEST_SOURCE=/usr/src/googletest &&
        run_tests "build-win$([ "$1" = i686 ] && echo 32 || echo 64)"
}

# The ARM builds (scripts/build-arm.sh installs their cross compilers), their programs run
# under qemu: arm64 with all its tests, armhf with its unit and end-to-end tests (files over
# 4 GiB on a 32-bit machine). What a test skipped under the emulator is shown, with the reason.
arm_suite() {
    install_missing qemu-user-static || return 1
    local status=0 tree
    scripts/build-arm.sh -DBUILD_TESTING=ON && run_tests build-arm64 || status=1
    HARNOW_ARM_ARCH=armhf scripts/build-arm.sh -DBUILD_TESTING=ON &&
        run_tests build-armhf -R "^(core_tests|server|e2e_)" || status=1
    for tree in build-arm64 build-armhf; do
        echo "skipped in $tree:"
        grep -hE "^test_.* \.\.\. skipped ['\"].*['\"]$" \
            "$tree/Testing/Temporary/LastTest.log" || true
    done
    builds_without_an_index || status=1
    return $status
}

# A package registry in the middle of a sync: the cross build, given a source whose index
# cannot be had, must name that index, fetch its sysroot from the others and build.
builds_without_an_index() {
    local tree missing="file:/nonexistent/harnow-index"
    tree="$(mktemp -d /tmp/harnow-arm.XXXXXX)"
    HARNOW_EXTRA_APT_SOURCE="deb [trusted=yes] $missing ./" HARNOW_BUILD_DIR="$tree" \
        scripts/build-arm.sh >"$tree.log" 2>&1 &&
        grep -q "^left out the index $missing/./Packages " "$tree.log" &&
        grep -q "^left out the index $missing/./Packages " "$tree/sysroot/fetched.txt" &&
        readelf -h "$tree/harnow" | grep -q "Machine: *AArch64"
    local status=$?
    [ $status = 0 ] || { echo "a build without an index failed:" >&2; tail -n 20 "$tree.log" >&2; }
    rm -rf "$tree" "$tree.log"
    return $status
}

# The fully static builds (HARNOW_FULLY_STATIC), one for each machine, and the tests of their
# trees that bear on them: a program for its machine that asks for no loader and needs no
# library, serving in a root that holds nothing but it and the served folder (ARM under qemu,
# which the root holds too), the amd64 one also in a Debian 11 root (glibc 2.31), made once by
# debootstrap and kept in build-debian11/; the amd64 tree's library also passes the socket
# tests, with the name lookup of a static program (localhost alone). Then the container image
# of the amd64 one, loaded and run with podman.
static_suite() {
    # The image's network: CNI's bridge and port mapping, which work through iptables.
    install_missing qemu-user-static debootstrap podman runc containernetworking-plugins \
        iptables || return 1
    local status=0 arch tree sockets debian11="$here/build-debian11"
    [ -x "$debian11/root/bin/sh" ] || debian_root "$debian11" bullseye "" || return 1
    local options=(-DBUILD_TESTING=ON -DHARNOW_FULLY_STATIC=ON -DCMAKE_BUILD_TYPE=Release)
    for arch in amd64 arm64 armhf; do
        tree="build-static-$arch" sockets=""
        if [ "$arch" = amd64 ]; then
            sockets="|core_tests_loopback"
            cmake -S . -B "$tree" "${options[@]}" -DHARNOW_SYSTEM_ROOT="$debian11/root" \
                >/dev/null && cmake --build "$tree" -j"$jobs" --target harnow core_tests
        else
            HARNOW_ARM_ARCH="$arch" HARNOW_BUILD_DIR="$here/$tree" HARNOW_BUILD_TARGET=harnow \
                scripts/build-arm.sh "${options[@]}"
        fi && run_tests "$tree" -R "^(static_program|e2e_.*_root$sockets)$" || status=1
    done
    local image="$here/build-static-amd64/harnow-oci.tar"
    scripts/build-image.sh build-static-amd64/harnow "$image" &&
        (cd tests/package && HARNOW_IMAGE="$image" PYTHONDONTWRITEBYTECODE=1 \
            PYTHONPATH="$here/tests/support:$here/tests/e2e" \
            ../support/in_netns.sh python3 -m unittest -v test_package.Image) || status=1
    return $status
}

# The package's unit under a real systemd: a Debian 12 container (scripts/with-container.sh,
# its root kept in build-container/) installs the package and runs it as a service.
systemd_suite() {
    local deb
    deb="$(packaging/build-deb.sh)" || return 1
    (cd tests/package && HARNOW_DEB="$deb" PYTHONDONTWRITEBYTECODE=1 \
        PYTHONPATH="$here/tests/support:$here/tests/e2e" \
        "$here/scripts/with-container.sh" "$here/build-container" \
        python3 -m unittest -v test_package.UnderSystemd)
}

if wants main; then stage "build + ctest" main_suite; fi
if wants asan; then stage "asan+ubsan build + ctest" sanitized_suite build-asan address,undefined; fi
if wants tsan; then stage "tsan build + ctest" sanitized_suite build-tsan thread; fi
if wants fuzz; then stage "fuzz (${fuzz_seconds} s per target)" fuzz_all; fi
if wants package; then stage "Debian package" package_suite; fi
if wants windows; then stage "windows build + ctest under wine64" windows_suite x86_64; fi
if wants windows32; then stage "win32 build + ctest under 32-bit wine" windows_suite i686; fi
if wants arm; then stage "arm64+armhf builds + ctest (qemu)" arm_suite; fi
if wants static; then stage "static builds in bare roots, image" static_suite; fi
if wants systemd; then stage "the unit under systemd 252" systemd_suite; fi

echo "=== stage times"
printf '%s\n' "${timings[@]}"
exit $failed
