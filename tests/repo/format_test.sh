#!/usr/bin/env bash
# Every C++ file of the repository as clang-format (the .clang-format at its
# top) would write it: names every file that differs.
#
#   format_test.sh SOURCE
set -euo pipefail
cd "$(realpath "$1")"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
((${#files[@]} > 0)) || { echo "format_test: no C++ files found" >&2; exit 1; }
if ! clang-format --dry-run -Werror "${files[@]}" 2>"${TMPDIR:-/tmp}/zul10-format.$$"; then
    grep -o '^[^:]*\.\(cpp\|h\):' "${TMPDIR:-/tmp}/zul10-format.$$" | sort -u | sed 's/:$//' |
        sed 's/^/format_test: not as clang-format writes it: /' >&2
    rm -f "${TMPDIR:-/tmp}/zul10-format.$$"
    exit 1
fi
rm -f "${TMPDIR:-/tmp}/zul10-format.$$"
echo "format_test: ${#files[@]} files as clang-format writes them"
