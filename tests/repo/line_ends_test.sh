#!/usr/bin/env bash
# The repository as Git for Windows checks it out by default (core.autocrlf
# true: text with CR LF line ends): the shell scripts must still end their
# lines in LF alone, and the fuzz corpora must be byte for byte what is
# committed. Clones the committed tree of SOURCE with autocrlf on and
# compares.
#
#   line_ends_test.sh SOURCE
set -euo pipefail
source=$(realpath "$1")
if ! git -C "$source" rev-parse --verify -q HEAD >/dev/null; then
    echo "line_ends_test: $source is no git checkout" >&2
    exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/zul10-line-ends.XXXXXX")
trap 'rm -rf "$work"' EXIT
git -c core.autocrlf=true clone -q --no-hardlinks "$source" "$work/clone"

failed=0
while IFS= read -r file; do
    if grep -qU $'\r' "$work/clone/$file"; then
        echo "line_ends_test: $file has CR LF line ends after a checkout with autocrlf" >&2
        failed=1
    fi
done < <(git -C "$work/clone" ls-files '*.sh' '.ci/run' 'tests/rig/init')
while IFS= read -r file; do
    if ! cmp -s <(git -C "$source" show "HEAD:$file") "$work/clone/$file"; then
        echo "line_ends_test: $file differs from what is committed after a checkout with autocrlf" >&2
        failed=1
    fi
done < <(git -C "$work/clone" ls-files 'fuzz/corpus/*')
((failed == 0)) && echo "line_ends_test: scripts keep LF, corpora keep their bytes"
exit $failed
