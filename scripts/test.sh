#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: every test under AddressSanitizer and
# UndefinedBehaviorSanitizer, the facility-missing tests against a build with every facility
# option OFF, each fuzz target for a short time (TORVANE_FUZZ_SECONDS, default 15). Ends with
# CTest's summary line.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bash "$root/scripts/install_deps.sh"
# shellcheck source=mermaid_env.sh
source "$root/scripts/mermaid_env.sh"

echo "test: building the minimal configuration (every facility OFF) in build-minimal"
cmake -S "$root" -B "$root/build-minimal" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTORVANE_PDF_WRITE=OFF -DTORVANE_PDF_MERGE=OFF -DTORVANE_MARKDOWN=OFF \
    -DTORVANE_WORKBOOK_READ=OFF -DTORVANE_TESTS=OFF -DTORVANE_WERROR=ON >/dev/null
cmake --build "$root/build-minimal" --target torvane

echo "test: building everything with sanitizers in build-asan"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTORVANE_SANITIZE=ON -DTORVANE_WERROR=ON \
    -DTORVANE_MINIMAL_BINARY="$root/build-minimal/torvane" >/dev/null
cmake --build "$root/build-asan"

echo "test: running every fuzz target for a short time (build-fuzz)"
# A fixed seed keeps the run repeatable.
FUZZ_SEED=1 bash "$root/scripts/fuzz.sh" "${TORVANE_FUZZ_SECONDS:-15}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$root/build-asan"
ctest --output-on-failure -j "$(nproc)"
