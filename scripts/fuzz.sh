#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz (coverage, ASan and UBSan), writes their
# seed corpus and runs each target for [seconds] (default 60) with a 512 MiB memory limit and a
# per-input time limit. Fails when any target finds a crash, leak, timeout or memory blow-up;
# the input that did it is kept in build-fuzz/findings/.
# Environment: FUZZ_TARGETS (names without "fuzz_", space-separated; default all),
# FUZZ_SKIP (names left out), FUZZ_JOBS (targets run at the same time, default 1),
# FUZZ_TIMEOUT (seconds per input, default 10), FUZZ_SEED (libFuzzer's -seed: the same seed and
# corpus repeat the same inputs; default a new one each run), FUZZ_OPTIONS (more libFuzzer options,
# such as "-fork=1 -ignore_crashes=1" to go on after a finding), FUZZ_STEPS ("build", "run" or
# the default "build run": the test command builds while other builds run and fuzzes later).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
build="$root/build-fuzz"
all_targets="xlsx xls csv lenient_date cell_address file_pattern json_config png jpeg bmp markdown"
targets=""
for target in ${FUZZ_TARGETS:-$all_targets}; do
    [[ " ${FUZZ_SKIP:-} " == *" $target "* ]] || targets+=" $target"
done
jobs="${FUZZ_JOBS:-1}"
steps=" ${FUZZ_STEPS:-build run} "
timeout="${FUZZ_TIMEOUT:-10}"

if [[ "$steps" == *" build "* ]]; then
    build_options=()
    if command -v ccache >/dev/null; then
        build_options=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    if command -v mold >/dev/null; then
        build_options+=(-DTORVANE_LINKER=mold)
    fi
    echo "fuzz: building the fuzz targets with clang in build-fuzz"
    # A unity build (up to eight files of a target as one) costs half the processor time.
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_UNITY_BUILD=ON \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
        -DTORVANE_FUZZ=ON -DTORVANE_TESTS=OFF -DTORVANE_WERROR=ON "${build_options[@]}" >/dev/null
    cmake --build "$build" --target fuzz
fi
[[ "$steps" == *" run "* ]] || exit 0

rm -rf "$build/seeds"
"$build/fuzz/make_seeds" "$build/seeds" "$root"
mkdir -p "$build/corpus" "$build/findings" "$build/tmp"

# The scratch files of the targets go into build-fuzz/tmp, not the shared temporary folder.
export TMPDIR="$build/tmp"
# ASan's quarantine counts towards the memory limit; keep it small so the limit measures the code.
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=16:malloc_context_size=20"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"

run_target() {
    local name="fuzz_$1"
    local corpus="$build/corpus/$name"
    local log="$build/findings/$name.log"
    mkdir -p "$corpus"
    local options=(-max_total_time="$seconds" -rss_limit_mb=512 -timeout="$timeout"
                   -max_len=65536 -print_final_stats=1
                   -artifact_prefix="$build/findings/$name-")
    # shellcheck disable=SC2206
    options+=(${FUZZ_OPTIONS:-})
    if [[ -n "${FUZZ_SEED:-}" ]]; then options+=(-seed="$FUZZ_SEED"); fi
    if [[ -f "$root/fuzz/$1.dict" ]]; then options+=(-dict="$root/fuzz/$1.dict"); fi
    if "$build/fuzz/$name" "${options[@]}" "$corpus" "$build/seeds/$name" >"$log" 2>&1; then
        local runs
        runs="$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')"
        # Forked runs report their count on the progress lines instead.
        [[ -n "$runs" ]] || runs="$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')"
        echo "fuzz: $name: ${runs:-?} runs in ${seconds} s, nothing found"
    else
        echo "fuzz: $name: FOUND A FAULT (log: $log)"
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|artifact_prefix|Test unit written)' "$log" | head -n 8
        return 1
    fi
}

failed=0
running=0
pids=()
for target in $targets; do
    run_target "$target" &
    pids+=($!)
    running=$((running + 1))
    if ((running >= jobs)); then
        wait -n || failed=1
        running=$((running - 1))
    fi
done
while ((running > 0)); do
    wait -n || failed=1
    running=$((running - 1))
done
if ((failed)); then
    echo "fuzz: at least one target found a fault"
    exit 1
fi
echo "fuzz: every target ran ${seconds} s without a finding"
