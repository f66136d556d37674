#!/usr/bin/env bash
# Builds and runs the benchmark: scripts/bench.sh [zul-bench options...]
# (--help lists them). Not part of the tests; its figures depend on the
# machine and on what else runs on it, so run it on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
ZUL_BUILD_TARGET=zul-bench scripts/build.sh build
echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
exec build/bench/zul-bench "$@"
