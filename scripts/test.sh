#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: every test under AddressSanitizer and
# UndefinedBehaviorSanitizer, the facility-missing tests against a build with every facility
# option OFF, each fuzz target for a short time (TORVANE_FUZZ_SECONDS, default 15; FUZZ_JOBS
# targets at a time, default the number of processors). Ends with CTest's summary line.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bash "$root/scripts/install_deps.sh" debian
# The renderer is a download, not work for the processors: it arrives while the builds run and
# only the tests wait for it.
mermaid_log="$(mktemp)"
trap 'rm -f "$mermaid_log"' EXIT
bash "$root/scripts/install_deps.sh" mermaid >"$mermaid_log" 2>&1 &
mermaid_pid=$!

# Every build goes through ccache. Paths are hashed relative to the clone and the build folder
# is left out, so the sources the two builds share are compiled once and a rerun compiles only
# what changed; the test programs' precompiled header needs the two sloppiness settings.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=pch_defines,time_macros
build_options=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DTORVANE_SANITIZE=ON -DTORVANE_WERROR=ON
               -DTORVANE_TEST_HOOKS=ON -DTORVANE_LINKER=mold
               -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The minimal program is built with the same flags as the test build, so that helmkit, the
# tools without an optional facility and most of the front come out of the cache there.
echo "test: building the minimal configuration (every facility OFF) in build-minimal"
cmake -S "$root" -B "$root/build-minimal" "${build_options[@]}" \
    -DTORVANE_PDF_WRITE=OFF -DTORVANE_PDF_MERGE=OFF -DTORVANE_MARKDOWN=OFF \
    -DTORVANE_WORKBOOK_READ=OFF -DTORVANE_TESTS=OFF >/dev/null
cmake --build "$root/build-minimal" --target torvane

echo "test: building everything with sanitizers in build-asan"
cmake -S "$root" -B "$root/build-asan" "${build_options[@]}" \
    -DTORVANE_MINIMAL_BINARY="$root/build-minimal/torvane" >/dev/null
cmake --build "$root/build-asan"

echo "test: running every fuzz target for a short time (build-fuzz)"
# A fixed seed keeps the run repeatable.
FUZZ_SEED=1 FUZZ_JOBS="${FUZZ_JOBS:-$(nproc)}" bash "$root/scripts/fuzz.sh" "${TORVANE_FUZZ_SECONDS:-15}"

if ! wait "$mermaid_pid"; then
    cat "$mermaid_log"
    echo "test: installing the Mermaid renderer failed" >&2
    exit 1
fi
cat "$mermaid_log"
# shellcheck source=mermaid_env.sh
source "$root/scripts/mermaid_env.sh"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$root/build-asan"
ctest --output-on-failure -j "$(nproc)"
