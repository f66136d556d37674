#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [DIR] [cmake options...]
# A second call reuses the tree. ZUL_BUILD_TARGET builds one target only.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
if [[ ! -f "$dir/CMakeCache.txt" ]]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$dir" -j"$(nproc)" ${ZUL_BUILD_TARGET:+--target "$ZUL_BUILD_TARGET"}
