#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a set time.
#
#   scripts/fuzz.sh [SECONDS]      default 60 seconds per target
#
# Environment: ZUL_FUZZ_BUILD names the build tree (default build-fuzz).
# The seeds in fuzz/corpus/<target>/ are read but never changed; what the
# fuzzer finds goes to <build>/corpus/<target>/, and a failing input to
# <build>/crash-* (the run then ends with a non-zero status).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${ZUL_FUZZ_BUILD:-build-fuzz}

if [[ ! -f "$dir/CMakeCache.txt" ]]; then
    cmake -S fuzz -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++
fi
cmake --build "$dir" -j2

status=0
for target in settings_file_fuzz parity_marking_fuzz record_reader_fuzz; do
    mkdir -p "$dir/corpus/$target"
    echo "== $target: ${seconds} s"
    if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$dir/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$dir/" "$dir/corpus/$target" "fuzz/corpus/$target"; then
        echo "== $target FAILED (input in $dir/)"
        status=1
    fi
done
exit $status
