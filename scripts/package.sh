#!/usr/bin/env bash
# Builds the Debian package torvane_<version>_amd64.deb from a release build in build-package/
# and prints its path. Install it with: sudo apt-get install ./build-package/torvane_*.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bash "$root/scripts/install_deps.sh"

build="$root/build-package"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVANE_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" --target package
ls "$build"/torvane_*_amd64.deb
