#!/usr/bin/env bash
# The CMake presets a developer starts from: the file is valid, every preset
# of this platform is listed, and the Linux presets configure the tree.
#
#   presets_test.sh SOURCE
set -euo pipefail
source=$(realpath "$1")
cd "$source"
work=$(mktemp -d "${TMPDIR:-/tmp}/zul10-presets.XXXXXX")
trap 'rm -rf "$work"' EXIT
listed=$(cmake --list-presets=all)
for preset in linux linux-asan windows-cross; do
    grep -q "\"$preset\"" <<<"$listed" || { echo "presets_test: no preset $preset" >&2; exit 1; }
done
for preset in linux linux-asan; do
    if ! cmake --preset "$preset" -B "$work/$preset" >"$work/$preset.log" 2>&1; then
        cat "$work/$preset.log" >&2
        echo "presets_test: the $preset preset does not configure" >&2
        exit 1
    fi
done
grep -q '^ZUL_SANITIZE:BOOL=ON$' "$work/linux-asan/CMakeCache.txt" ||
    { echo "presets_test: linux-asan builds without the sanitizers" >&2; exit 1; }
echo "presets_test: the presets list and configure"
