#!/usr/bin/env bash
# Installs what building, running and testing need on a Debian machine.
# Does nothing when everything is there already.
set -euo pipefail

PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev
    fonts-liberation fonts-sawarabi-gothic
    xvfb xauth xdotool x11-apps imagemagick
    clang libclang-rt-14-dev clang-format git
    valgrind
    dpkg-dev file lintian desktop-file-utils zip nsis
    g++-mingw-w64-x86-64 wine64 wine locales
    nlohmann-json3-dev libsimdjson-dev jq
    qemu-system-x86 busybox-static socat xz-utils
    postgresql libpq-dev bzip2
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    SUDO=""
    if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
