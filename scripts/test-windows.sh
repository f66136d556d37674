#!/usr/bin/env bash
# The Windows leg of the tests: cross-builds the core and its suites for
# 64-bit Windows into build-win/ (mingw-w64, static), and runs every suite
# under Wine in a private prefix (build-win/wineprefix). The Win32 port suite
# talks to the simulator tool of the Linux build (build/sim/tool/zul1x-sim)
# through Wine's COM1. Prints one line per suite and a closing
# "N passed, N failed" over all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh

started=$SECONDS
if [[ ! -x build/sim/tool/zul1x-sim ]]; then
    ZUL_BUILD_TARGET=zul1x-sim scripts/build.sh build
fi
if [[ ! -f build-win/CMakeCache.txt ]]; then
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
          -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build-win -j"$(nproc)"

wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX=$root/build-win/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts
logs=build-win/test-logs
mkdir -p "$logs"

sim_pid=""
cleanup() {
    [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT

# A fresh prefix once (about 17 s here). Wine gives every /dev/ttyS*,
# ttyUSB* and ttyACM* a COM name of its own; COM1 to COM7 are pinned here,
# COM1 to the simulator's link and the others to nothing, so no test can
# reach a real serial device of this machine.
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    "$wine64" wineboot -i >"$logs/wineboot.log" 2>&1
fi
sim_link=$root/build-win/sim-com1
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    printf '"COM1"="%s"\r\n' "$sim_link"
    for n in 2 3 4 5 6 7; do printf '"COM%s"="%s/build-win/no-port"\r\n' "$n" "$root"; done
} >build-win/ports.reg
"$wine64" regedit /S 'Z:'"${root//\//\\}"'\build-win\ports.reg' >>"$logs/wineboot.log" 2>&1
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
# One server for the whole run. Its first program starts Wine's services,
# which link dosdevices/com1 to the simulator's link (and so to its
# pseudo-terminal), as pinned above.
"$wineserver" -p >"$logs/wineserver.log" 2>&1
"$wine64" reg query 'HKLM\Software\Wine\Ports' >>"$logs/wineboot.log" 2>&1
com1_is_sim() { [[ $(readlink "$WINEPREFIX/dosdevices/com1") == "$sim_link" ]]; }
com1_is_sim || { echo "test-windows: Wine's COM1 is not the simulator's link" >&2; exit 1; }

# The simulated unit on a pseudo-terminal: healthy, but 0xB0 goes unanswered.
printf 'fault 0xB0 = silent\n' >build-win/sim-profile.txt
build/sim/tool/zul1x-sim --link "$sim_link" --profile build-win/sim-profile.txt \
    >"$logs/zul1x-sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [[ -L $sim_link ]] && break; sleep 0.1; done

passed=0 failed=0 suites_failed=0
for exe in build-win/tests/*.exe; do
    name=$(basename "$exe" .exe)
    t0=$SECONDS
    status=0
    timeout 600 "$wine64" "$exe" >"$logs/$name.log" 2>&1 || status=$?
    com1_is_sim || { echo "test-windows: Wine's COM1 moved, stopping" >&2; exit 1; }
    # Wine's console ends lines in CR LF.
    ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.\r\?$/\1/p' "$logs/$name.log")
    bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:\r\?$/\1/p' "$logs/$name.log")
    ok=${ok:-0} bad=${bad:-0}
    if [[ $status -ne 0 && $bad -eq 0 ]]; then bad=1; fi  # crashed or hung
    passed=$((passed + ok)) failed=$((failed + bad))
    if [[ $bad -ne 0 ]]; then
        suites_failed=$((suites_failed + 1))
        echo "FAILED $name: $ok passed, $bad failed ($((SECONDS - t0)) s), log $logs/$name.log"
        grep -E '^\[  FAILED  \]|Failure' "$logs/$name.log" | head -20 || true
    else
        echo "ok     $name: $ok passed ($((SECONDS - t0)) s)"
    fi
done
echo "Windows leg ($((SECONDS - started)) s, $suites_failed suites failing): $passed passed, $failed failed"
[[ $failed -eq 0 ]]
