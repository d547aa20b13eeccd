#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan, UBSan) in build-fuzz/ and runs
# each for SECONDS (default 30), starting from the corpus in fuzz/corpus/.
# New inputs stay in build-fuzz/corpus/; a crash, hang (over 5 s) or an input
# that needs over 256 MB is saved in build-fuzz/artifacts/ and fails the run.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: save trace
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD  # the fuzzers work in a private folder: give them full paths
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(save trace)

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/setup.sh test)" >&2; exit 1; }
# The main build with -DVR_FUZZ=ON; neither the SDL game nor the tests are
# needed for the fuzzers. (A build-fuzz/ made from fuzz/ alone is redone.)
if grep -qs '^CMAKE_HOME_DIRECTORY:INTERNAL=.*/fuzz$' build-fuzz/CMakeCache.txt; then
    rm -rf build-fuzz/CMakeCache.txt build-fuzz/CMakeFiles
fi
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVR_FUZZ=ON \
    -DVR_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz-}" >/dev/null

mkdir -p build-fuzz/artifacts
# Each input writes and renames save.txt a few times: on a disk that flushes
# on rename that is slow, so work in memory when we can.
# ASan's default quarantine alone would fill the 256 MB limit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=10}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
status=0
for target in "${targets[@]}"; do
    corpus=$root/build-fuzz/corpus/$target
    mkdir -p "$corpus"
    log=build-fuzz/$target.log
    # -close_fd_mask=3: the tool's own output and messages; reports still show.
    if ! "build-fuzz/fuzz-$target" "$corpus" "$root/fuzz/corpus/$target" \
        -max_total_time="$seconds" -rss_limit_mb=256 -timeout=5 -max_len=4096 \
        -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$root/build-fuzz/artifacts/$target-" >"$log" 2>&1; then
        status=1
        echo "fuzz $target: FAILED, see $log and build-fuzz/artifacts/" >&2
        grep -E 'ERROR|SUMMARY|fuzz-|Test unit written' "$log" | head -n 20 >&2 || true
        continue
    fi
    runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
    rate=$(awk '/stat::average_exec_per_sec/ { print $2 }' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1)
    echo "fuzz $target: ${runs:-?} runs in ${seconds} s (${rate:-?}/s), ${cov:-cov: ?}, corpus $(ls "$corpus" | wc -l) files, no faults"
done
exit "$status"
