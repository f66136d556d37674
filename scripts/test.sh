#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build, and a build
# under the address and undefined-behaviour sanitizers; in between, the line
# layer on the kernel's own serial drivers in a virtual machine, the Windows
# legs under Wine (the suites, then the installed program) and a brief run of
# each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

scripts/build.sh build
ctest --test-dir build --output-on-failure -j2
scripts/package_test.sh

# The line layer against the kernel's own 8250 and ftdi_sio drivers, in a
# virtual machine (about a minute, no KVM needed).
scripts/test-drivers.sh

# The core, the program and their suites cross-built for Windows and run
# under Wine, the Win32 port against the simulator tool of the build above.
# The first call builds the Qt kit for Windows (scripts/qt-windows.sh, about
# 40 minutes on 2 cores); later calls and clones reuse it.
scripts/test-windows.sh
# The installed Windows program on a virtual display, driven as an operator.
scripts/test-windows-program.sh
scripts/test-windows-names.sh

# A brief run of each libFuzzer target (about 10 s each).
ZUL_FUZZ_BUILD=build-fuzz scripts/fuzz.sh 10

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DZUL_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    ctest --test-dir build-asan --output-on-failure -j2
