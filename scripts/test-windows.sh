#!/usr/bin/env bash
# The Windows leg of the tests: cross-builds the core and its suites for
# 64-bit Windows into build-win/ (mingw-w64, static) and, with the Qt kit of
# scripts/qt-windows.sh (built when missing), the program zul10.exe and its
# widget suites; runs every suite under Wine in a private prefix
# (build-win/wineprefix). The Win32 port suite
# talks to the simulator tool of the Linux build (build/sim/tool/zul1x-sim)
# through Wine's COM1. zul10-records.exe forward delivers a spool into a
# PostgreSQL server of the leg's own (scripts/pg-server.sh) over 127.0.0.1.
# Prints one line per suite and a closing
# "N passed, N failed" over all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
# Wine's window driver needs an X display even for Qt's offscreen platform:
# the event dispatcher's timers run on a hidden window.
if [[ -z ${ZUL_WINE_DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" env ZUL_WINE_DISPLAY=1 bash "$0" "$@"
fi

started=$SECONDS
if [[ ! -x build/sim/tool/zul1x-sim ]]; then
    ZUL_BUILD_TARGET=zul1x-sim scripts/build.sh build
fi
if [[ ! -x build/app/zul10-icon-png ]]; then
    ZUL_BUILD_TARGET=zul10-icon-png scripts/build.sh build
fi
if [[ ! -x build/bench/zul-record-gen ]]; then
    ZUL_BUILD_TARGET=zul-record-gen scripts/build.sh build
fi
kit=$(scripts/qt-windows.sh | tail -n 1)
if ! grep -qs "^ZUL_QT_KIT:.*=$kit\$" build-win/CMakeCache.txt; then
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
          -DCMAKE_BUILD_TYPE=Release -DZUL_QT_KIT="$kit" \
          -DZUL_ICON_TOOL="$root/build/app/zul10-icon-png" >/dev/null
fi
cmake --build build-win -j"$(nproc)"

source scripts/wine-prefix.sh
wine64=$WINE64 wineserver=$WINESERVER
export WINEPREFIX=$root/build-win/wineprefix
# The widget suites load the Qt DLLs of the kit and the compiler's runtime,
# as the installed program finds them beside itself; offscreen, no display.
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
pthread=$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")")
export WINEPATH="Z:${kit//\//\\}\\bin;Z:${runtime//\//\\};Z:${pthread//\//\\}"
export QT_QPA_PLATFORM=offscreen
logs=build-win/test-logs
mkdir -p "$logs"

sim_pid=""
# A PostgreSQL server for zul10-records.exe forward (scripts/pg-server.sh),
# under /tmp (its user must reach the folder), named by this tree.
pg_dir=/tmp/zul10-pg-win-$(printf '%s' "$root" | md5sum | cut -c1-12)
cleanup() {
    [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    "$wineserver" -k 2>/dev/null || true
    bash scripts/pg-server.sh stop "$pg_dir" 2>/dev/null || true
}
trap cleanup EXIT
bash scripts/pg-server.sh start "$pg_dir" >"$logs/pg-server.log" 2>&1 ||
    { echo "test-windows: the PostgreSQL server did not start, see $logs/pg-server.log" >&2; exit 1; }

# Every COM name of the prefix pinned before Wine first starts in it
# (scripts/wine-prefix.sh): COM1 to the simulator's link, the others to a
# path that does not exist. The checks below look at the links after every
# suite.
sim_link=$root/build-win/sim-com1
no_port=$root/build-win/no-port
ports_pinned() { wine_ports_pinned "$WINEPREFIX"; }
# About 17 s here.
wine_prefix_pin "$WINEPREFIX" "$sim_link" "$no_port" "$logs" || {
    echo "test-windows: the prefix's COM names are not pinned" >&2
    exit 1
}
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
# One server for the whole run. Its first program starts Wine's services,
# which link dosdevices/com1 to the simulator's link (and so to its
# pseudo-terminal), as pinned above.
"$wineserver" -p >"$logs/wineserver.log" 2>&1
"$wine64" reg query 'HKLM\Software\Wine\Ports' /v COM1 >>"$logs/wineboot.log" 2>&1
com1_is_sim() { [[ $(readlink "$WINEPREFIX/dosdevices/com1") == "$sim_link" ]]; }
com1_is_sim || { echo "test-windows: Wine's COM1 is not the simulator's link" >&2; exit 1; }
ports_pinned

# A share for the records suites: Wine reaches \\SERVER\SHARE through the
# prefix's dosdevices/unc/SERVER/SHARE, here a folder of the build.
rm -rf "$WINEPREFIX/dosdevices/unc/zul-share"
mkdir -p "$WINEPREFIX/dosdevices/unc/zul-share/records/sub"
export ZUL_TEST_SHARE='\\zul-share\records'

# The simulated unit on a pseudo-terminal: healthy, but 0xB0 goes unanswered.
# A link left by an earlier run is no sign of it: the tests start once the
# simulator has said where it serves.
printf 'fault 0xB0 = silent\n' >build-win/sim-profile.txt
rm -f "$sim_link"
build/sim/tool/zul1x-sim --link "$sim_link" --profile build-win/sim-profile.txt \
    >"$logs/zul1x-sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    grep -qs '^zul1x-sim: unit ' "$logs/zul1x-sim.log" && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
grep -q '^zul1x-sim: unit ' "$logs/zul1x-sim.log" ||
    { echo "test-windows: the simulator did not start, see $logs/zul1x-sim.log" >&2; exit 1; }

passed=0 failed=0 suites_failed=0
for exe in build-win/tests/*.exe; do
    name=$(basename "$exe" .exe)
    t0=$SECONDS
    status=0
    timeout 600 "$wine64" "$exe" >"$logs/$name.log" 2>&1 || status=$?
    com1_is_sim && ports_pinned || { echo "test-windows: Wine's COM names moved, stopping" >&2; exit 1; }
    # Wine's console ends lines in CR LF.
    ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.\r\?$/\1/p' "$logs/$name.log")
    bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:\r\?$/\1/p' "$logs/$name.log")
    ok=${ok:-0} bad=${bad:-0}
    if [[ $bad -eq 0 && ($status -ne 0 || $ok -eq 0) ]]; then bad=1; fi  # crashed, hung or mute
    passed=$((passed + ok)) failed=$((failed + bad))
    if [[ $bad -ne 0 ]]; then
        suites_failed=$((suites_failed + 1))
        echo "FAILED $name: $ok passed, $bad failed ($((SECONDS - t0)) s), log $logs/$name.log"
        grep -E '^\[  FAILED  \]|Failure' "$logs/$name.log" | head -20 || true
    else
        echo "ok     $name: $ok passed ($((SECONDS - t0)) s)"
    fi
done
# zul10-records.exe forward into the server over 127.0.0.1: a spool of
# realistic records (the format-2 ones the program's writer made), each run
# there once after two forwards; a sslmode that needs TLS refused in one
# line (this libpq has none) with the spool intact.
database_leg() {
    local spool=$root/build-win/db-spool generated=$root/build-win/db-records exe
    local uri count stored output day
    exe=build-win/records/zul10-records.exe
    rm -rf "$spool" "$generated"
    mkdir -p "$spool"
    build/bench/zul-record-gen "$generated" 2 --seed 20260301 --stations 2 >/dev/null
    for file in "$generated"/zul10-*.jsonl; do
        day=$(basename "$file" | cut -c7-16)
        grep '"format":2' "$file" >>"$spool/zul10-$day.jsonl" || true
    done
    count=$(cat "$spool"/*.jsonl | wc -l)
    (set -a; . "$pg_dir/env"; psql -q -c "DROP DATABASE IF EXISTS windows" -c "CREATE DATABASE windows") ||
        return 1
    uri=$(sed 's|/zul10$|/windows|' "$pg_dir/uri")
    local run=(env -u ZUL10_RECORDS -u ZUL10_DATABASE -u ZUL10_STATION_FILE "$wine64" "$exe")
    output=$("${run[@]}" forward --spool "Z:$spool" --database "$uri?sslmode=require" 2>&1) && return 1
    [[ $output == *'sslmode value "require" invalid when SSL support is not compiled in'* ]] ||
        { echo "$output"; return 1; }
    "${run[@]}" db init "$uri" || return 1
    "${run[@]}" forward --spool "Z:$spool" --database "$uri" || return 1
    "${run[@]}" forward --spool "Z:$spool" --database "$uri" || return 1
    stored=$(set -a; . "$pg_dir/env"; psql -d windows -tAc "SELECT count(*), count(DISTINCT run_id) FROM runs")
    echo "$count records spooled, runs and distinct run ids stored: $stored"
    [[ $count -gt 100 && $stored == "$count|$count" ]]
}
t0=$SECONDS
if database_leg >"$logs/database.log" 2>&1; then
    passed=$((passed + 1))
    echo "ok     zul10-records.exe forward into PostgreSQL ($((SECONDS - t0)) s)"
else
    failed=$((failed + 1)) suites_failed=$((suites_failed + 1))
    echo "FAILED zul10-records.exe forward into PostgreSQL, log $logs/database.log"
    tail -5 "$logs/database.log"
fi
echo "Windows leg ($((SECONDS - started)) s, $suites_failed suites failing): $passed passed, $failed failed"
[[ $failed -eq 0 ]]
