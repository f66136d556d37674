#!/usr/bin/env bash
# The Windows program under Wine with names in Japanese, as a bench PC in
# Japan has them: Wine in Japanese (LANG=ja_JP.UTF-8, code page 932), the
# user 山田太郎 (Wine takes the user's name, and so the profile folder
# C:\users\山田太郎 and %LOCALAPPDATA% under it, from $USER), the program in
# a folder named in Japanese, started in a working folder named in Japanese,
# and the records folder at the root of a share named in Japanese
# (\\benchserver\記録: Wine reaches a share through the prefix's
# dosdevices/unc/SERVER/SHARE). One run against zul1x-sim on COM1 (the unit
# refuses the first command, so the run fails at once) is driven with
# xdotool on a virtual display, then
#   - the settings file is in the working folder;
#   - the record is in the spool under the user's %LOCALAPPDATA%, delivered
#     by zul10-records forward into the share's folder 記録, with the user's
#     and the station's names intact; the line monitor writes its file into
#     a folder named in Japanese;
#   - zul10-records.exe reads the share's root back;
#   - the records suites' cases of Japanese names pass under code page 932
#     (the suites carry no manifest: the wide calls alone carry the names).
# Needs build-win/ (scripts/test-windows.sh) and build/ for the simulator.
# Prints "Windows names: N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [[ -z ${ZUL_NAMES_DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" env ZUL_NAMES_DISPLAY=1 bash "$0" "$@"
fi

[[ -f build-win/CMakeCache.txt ]] || { echo "test-windows-names: run scripts/test-windows.sh first" >&2; exit 1; }
cmake --build build-win --target zul10 file_names_test -j"$(nproc)" >/dev/null

logs=$root/build-win/test-logs
mkdir -p "$logs"
CHECK_OUT=$logs/names-check.out
source scripts/wine-prefix.sh

# Japanese as Wine's locale: compiled once into the build (no change to the
# machine's own locales).
export LOCPATH=$root/build-win/locale
if [[ ! -d $LOCPATH/ja_JP.UTF-8 ]]; then
    mkdir -p "$LOCPATH"
    localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8"
fi
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
user=山田太郎
export USER=$user LOGNAME=$user
export WINEPREFIX=$root/build-win/wineprefix-names
sim_link=$root/build-win/sim-com1-names
# Every COM name pinned before Wine first starts in the prefix; the prefix is
# made under the Japanese user, whose folder it then holds.
wine_prefix_pin "$WINEPREFIX" "$sim_link" "$root/build-win/no-port" "$logs/names-prefix" || {
    echo "test-windows-names: the prefix's COM names are not pinned" >&2
    exit 1
}
[[ -d $WINEPREFIX/drive_c/users/$user ]] || { echo "test-windows-names: no folder for $user" >&2; exit 1; }

sim_pid=""
cleanup() {
    [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    "$WINESERVER" -k 2>/dev/null || true
}
trap cleanup EXIT
"$WINESERVER" -k 2>/dev/null || true
"$WINESERVER" -p >"$logs/names-wineserver.log" 2>&1
wine_ports_pinned "$WINEPREFIX"

# The program folder, the working folder, the station file and the share.
c=$WINEPREFIX/drive_c
program_dir='C:\Program Files\検査\ZUL10'
rm -rf "$c/Program Files/検査"
cmake --install build-win --prefix "$c/Program Files/検査/ZUL10" >/dev/null
profile=$c/users/$user
work=$profile/作業
spool=$profile/AppData/Local/ZUL10/records
share=$WINEPREFIX/dosdevices/unc/benchserver/記録
rm -rf "$work" "$spool" "$profile/ログ" "$WINEPREFIX/dosdevices/unc/benchserver"
mkdir -p "$work" "$share" "$profile/ログ" "$c/ProgramData/ZUL10"
printf '%s\r\n' "station = 検査台7" 'records = \\benchserver\記録' \
    "trace = C:\\users\\$user\\ログ\\回線.trace" >"$c/ProgramData/ZUL10/station.conf"

rm -f "$sim_link"
build/sim/tool/zul1x-sim --link "$sim_link" --preset refused-erase >"$logs/names-sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    grep -q '^zul1x-sim: unit ' "$logs/names-sim.log" && break
    sleep 0.1
done

# The run: Start (Return), which the unit's refusal ends at once.
title='^ZUL-1x Adjustment Program$'
window_of() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
(cd "$work" && exec "$WINE64" "$program_dir\\zul10.exe") >"$logs/names-program.log" 2>&1 &
window=""
for _ in $(seq 600); do
    window=$(window_of "$title") && [[ -n $window ]] && break
    sleep 0.1
done
check "the program starts from the folder named in Japanese" test -n "$window"
if [[ -n $window ]]; then
    sleep 2
    xdotool key --window "$window" Return 2>/dev/null
fi
delivered() { cat "$share"/zul10-*.jsonl 2>/dev/null | grep -q '"outcome"'; }
for _ in $(seq 300); do
    delivered && break
    sleep 0.1
done
[[ -n $window ]] && xdotool key --window "$window" ctrl+x 2>/dev/null
for _ in $(seq 200); do
    [[ -z $(window_of "$title") ]] && break
    sleep 0.1
done

check "the settings file is in the working folder" test -f "$work/ZUL1x_comm.ini"
has_record() { # FILE...: one record with the user's and the station's names whole
    cat "$@" | tr -d '\r' | grep -F "\"user\":\"$user\"" | grep -Fq '"station":"検査台7"' ||
        { cat "$@"; exit 1; }
}
check "the record is in the spool under the user's %LOCALAPPDATA%" \
    bash -c "$(declare -f has_record); user=$user; has_record \"\$@\"" _ "$spool"/zul10-*.jsonl
# The station's name in the file name with %XX outside A-Z a-z 0-9 . _ -.
check "the record is delivered into 記録 at the share's root" \
    bash -c "$(declare -f has_record); user=$user; has_record \"\$@\"" _ \
    "$share"/zul10-*-%E6%A4%9C%E6%9F%BB%E5%8F%B07.jsonl
check "the line monitor writes into ログ" test -s "$profile/ログ/回線.trace"
"$WINE64" "$program_dir\\zul10-records.exe" summary '\\benchserver\記録' \
    >"$logs/names-summary.txt" 2>&1 || true
check "zul10-records.exe reads the share's root: one run" \
    bash -c 'tr -d "\r" <"$1" | grep -Eq "^All +1 " || { cat "$1"; exit 1; }' _ "$logs/names-summary.txt"
# The suite's own cases under code page 932, without a manifest.
check "the records suite's Japanese names under code page 932" \
    "$WINE64" build-win/tests/file_names_test.exe --gtest_filter='JapaneseNames.*'

echo "Windows names: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
