#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test through CTest.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" libgtest-dev python3 iproute2 util-linux procps
tests/clients/setup.sh

jobs="$(nproc)"
cmake -S . -B build -DBUILD_TESTING=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
