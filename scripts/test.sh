#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: every test under AddressSanitizer and
# UndefinedBehaviorSanitizer, the facility-missing tests against a build with every facility
# option OFF, each fuzz target for a short time (TORVANE_FUZZ_SECONDS, default 15; FUZZ_JOBS
# targets at a time, default half the processors, as they run beside CTest). Each stage ends with
# a "test: stage <name> took ..." line; the run ends with CTest's summary, a "test: skipped ..."
# line for each GoogleTest test that skipped itself, and the line of its stage.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Each stage ends with its wall time and the processor time of the programs it ran (user and
# system, from /proc), so that a slow run shows where the time went even on a shared machine.
ticks="$(getconf CLK_TCK)"
stage_cpu() {
    local fields
    read -ra fields <"/proc/$$/stat"
    echo $(((fields[15] + fields[16]) * 100 / ticks))
}
stage_name=""
stage_begin() {
    stage_name="$1"
    stage_wall="$EPOCHREALTIME"
    stage_cpu0="$(stage_cpu)"
}
stage_end() {
    local cpu wall
    cpu=$(($(stage_cpu) - stage_cpu0))
    wall="$(awk -v a="$stage_wall" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')"
    printf 'test: stage %s took %s s wall, %d.%02d s CPU\n' "$stage_name" "$wall" $((cpu / 100)) $((cpu % 100))
}

stage_begin deps
bash "$root/scripts/install_deps.sh" debian
stage_end
# The renderer is a download, not work for the processors: it arrives while the builds run and
# only the tests wait for it.
mermaid_log="$(mktemp)"
fuzz_log="$(mktemp)"
# A stage that fails ends the run: what still runs beside it is stopped.
trap 'kill $(jobs -p) 2>/dev/null || true; rm -f "$mermaid_log" "$fuzz_log"' EXIT
bash "$root/scripts/install_deps.sh" mermaid >"$mermaid_log" 2>&1 &
mermaid_pid=$!

# Every build goes through ccache. Paths are hashed relative to the clone and the build folder
# is left out, so the sources the two builds share are compiled once and a rerun compiles only
# what changed; the test programs' precompiled header needs the two sloppiness settings.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=pch_defines,time_macros
# Line tables are all the debug information a sanitizer report needs (function, file and line);
# full debug information made the libraries' objects a fifth slower to compile. Unity builds
# compile up to eight files of a target as one: they share most headers and templates, and one
# by one they cost twice (libraries) to three times (test programs) the processor time.
build_options=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1
               -DCMAKE_UNITY_BUILD=ON
               -DTORVANE_SANITIZE=ON -DTORVANE_WERROR=ON
               -DTORVANE_TEST_HOOKS=ON -DTORVANE_LINKER=mold
               -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The minimal program is built with the same flags as the test build, so that helmkit, the
# tools without an optional facility and most of the front come out of the cache there.
echo "test: building the minimal configuration (every facility OFF) in build-minimal"
stage_begin minimal
cmake -S "$root" -B "$root/build-minimal" "${build_options[@]}" \
    -DTORVANE_PDF_WRITE=OFF -DTORVANE_PDF_MERGE=OFF -DTORVANE_MARKDOWN=OFF \
    -DTORVANE_WORKBOOK_READ=OFF -DTORVANE_TESTS=OFF >/dev/null
cmake --build "$root/build-minimal" --target torvane
stage_end

echo "test: building everything with sanitizers in build-asan"
stage_begin asan
cmake -S "$root" -B "$root/build-asan" "${build_options[@]}" \
    -DTORVANE_MINIMAL_BINARY="$root/build-minimal/torvane" >/dev/null
cmake --build "$root/build-asan"
stage_end

# One build at a time: two side by side took a fifth more processor time than one after the
# other, and no less time.
echo "test: building the fuzz targets in build-fuzz"
stage_begin fuzz-build
FUZZ_STEPS=build bash "$root/scripts/fuzz.sh"
stage_end

stage_begin mermaid-wait
mermaid_status=0
wait "$mermaid_pid" || mermaid_status=$?
cat "$mermaid_log"
if ((mermaid_status != 0)); then
    echo "test: installing the Mermaid renderer failed" >&2
    exit 1
fi
stage_end
# shellcheck source=mermaid_env.sh
source "$root/scripts/mermaid_env.sh"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$root/build-asan"
# CTest leaves a processor idle at times (a test that sleeps, waits for the renderer, or runs
# alone at the end), which the fuzzing fills. A fixed seed keeps the fuzzing repeatable.
echo "test: running every fuzz target for a short time (build-fuzz), beside CTest"
stage_begin "ctest and fuzz"
FUZZ_SEED=1 FUZZ_JOBS="${FUZZ_JOBS:-$((($(nproc) + 1) / 2))}" FUZZ_STEPS=run \
    bash "$root/scripts/fuzz.sh" "${TORVANE_FUZZ_SECONDS:-15}" >"$fuzz_log" 2>&1 &
fuzz_pid=$!
status=0
rm -rf Testing/GoogleTest
ctest --output-on-failure -j "$(nproc)" || status=$?
# A CTest test runs a whole GoogleTest suite, which passes when its skipped tests do: their
# reports name them.
awk '/result="skipped"/ {
         match($0, / name="[^"]*"/); test = substr($0, RSTART + 7, RLENGTH - 8)
         match($0, /classname="[^"]*"/); suite = substr($0, RSTART + 11, RLENGTH - 12)
         getline; match($0, /message="[^"]*"/); why = substr($0, RSTART + 9, RLENGTH - 10)
         sub(/.*&#x0A;/, "", why)
         print "test: skipped " suite "." test ": " why
     }' Testing/GoogleTest/*.xml 2>/dev/null || true
fuzz_status=0
wait "$fuzz_pid" || fuzz_status=$?
cat "$fuzz_log"
stage_end
if ((fuzz_status != 0)); then
    echo "test: a fuzz target found a fault" >&2
    status=1
fi
exit "$status"
