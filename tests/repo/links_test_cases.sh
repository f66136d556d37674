#!/usr/bin/env bash
# The link check against a small repository of its own: it must name each
# broken link (a missing file, a missing anchor, a link out of the tree, a
# file Git does not know) and nothing else, pass links in code, and accept
# GitHub's anchors (code spans, punctuation, repeated and Japanese headings).
#
#   links_test_cases.sh SOURCE
set -euo pipefail
check=$(realpath "$1")/tests/repo/links_test.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
git init -q
mkdir -p docs/img
cat >README.md <<'EOF'
# Top — title

[a](docs/guide.md#the-line-monitor-zul10_tracefile) [b](docs/guide.md#setup-1) [c](#top--title)
[d](docs/guide.md#nope) [e](docs/missing.md) [f](../outside.md) [g](docs/img/new.png)
![h](docs/img/a.png) [i](https://example.com/x.md) [j](docs/img)
`[k](code-span.md)`

    [l](indented-code.md)

```
[m](fenced-code.md)
```
EOF
cat >docs/guide.md <<'EOF'
# Guide
## The line monitor: `ZUL10_TRACE=FILE`
## Setup
## Setup
[n](../README.md#top--title) [o](#山田-太郎)
## 山田 太郎
EOF
touch docs/img/a.png docs/img/new.png
git add README.md docs/guide.md docs/img/a.png

fail() {
    echo "links_test_cases: FAIL: $*" >&2
    exit 1
}
if bash "$check" "$work" >out 2>err; then fail "a tree with broken links passed"; fi
expected="links_test: README.md:4: docs/guide.md#nope: no heading with the anchor #nope
links_test: README.md:4: docs/missing.md: no such file
links_test: README.md:4: ../outside.md: leads out of the repository
links_test: README.md:4: docs/img/new.png: not in the repository (git add it)
links_test: 4 of 11 links broken"
[[ $(cat err) == "$expected" ]] || fail "named $(cat err), expected $expected"

# Mended, the same tree passes.
sed -i 's/#nope/#guide/; s/missing\.md/guide.md/; s/\.\.\/outside\.md/README.md/' README.md
git add docs/img/new.png
bash "$check" "$work" >out 2>err || fail "the mended tree failed: $(cat err)"
grep -qx 'links_test: 11 links in 2 pages resolve' out || fail "unexpected: $(cat out)"
echo "links_test_cases: every broken link named, the mended tree passes"
