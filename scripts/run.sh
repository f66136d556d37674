#!/usr/bin/env bash
# Builds and starts the adjustment program against the configured port.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display: run it under a virtual one, e.g.  xvfb-run -s '-screen 0 1024x768x24' scripts/run.sh" >&2
    exit 1
fi
exec build/app/zul10
