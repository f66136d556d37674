#!/usr/bin/env bash
# The Windows program under Wine, as an operator meets it: the setup program
# installed silently into the Windows leg's prefix (every COM name pinned,
# COM1 to the simulator), the installed zul10.exe started through its
# Start-menu entry on a virtual display against zul1x-sim on COM1, with the
# user's working folder missing (the entry's launcher makes it), and
#   - a complete healthy run driven with xdotool: Return for Start and each
#     Next, the mouse for Next at the live mag display (Clear has the focus),
#     with the run records and the line monitor on, read back by the
#     installed zul10-records.exe;
#   - the port dialog opened from "Opition" > "COM port" by keyboard;
#   - a second copy ending at once;
#   - installing again and removing while it runs, refused with nothing
#     changed; installing again once it closed;
#   - the port error box of a missing COM port, with its full-width "！";
#   - the uninstall.
# Screenshots stay in build-win/program-screens/. Needs the program folder
# and the setup program (scripts/package-windows.sh) and build/ for the
# simulator. Prints "Windows program: N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [[ -z ${ZUL_PROGRAM_DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" env ZUL_PROGRAM_DISPLAY=1 bash "$0" "$@"
fi

# The program folder as the cross build stages it, and the setup program.
cmake --build build-win --target zul10 -j"$(nproc)" >/dev/null
rm -rf build-win/zul10-win64
cmake --install build-win --prefix build-win/zul10-win64 >/dev/null
ZUL_SETUP_ICON=build-win/app/zul10.ico scripts/package-windows.sh build-win/zul10-win64 >/dev/null
setup=$(ls dist/zul10-*-setup.exe | head -n 1)

source scripts/wine-prefix.sh
export WINEPREFIX=$root/build-win/wineprefix
screens=$root/build-win/program-screens
logs=$root/build-win/test-logs
mkdir -p "$screens" "$logs"
rm -f "$screens"/*.png
sim_link=$root/build-win/sim-com1
user_dir=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/ZUL10
title='^ZUL-1x Adjustment Program$'

CHECK_OUT=$logs/program-check.out

sim_pid=""
stop_sim() {
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
        sim_pid=""
    fi
}
cleanup() {
    stop_sim
    "$WINESERVER" -k 2>/dev/null || true
}
trap cleanup EXIT

wine_ports_pinned "$WINEPREFIX"
"$WINESERVER" -k 2>/dev/null || true
"$WINESERVER" -p >"$logs/program-wineserver.log" 2>&1
# The faces of a bench PC (scripts/wine-prefix.sh), in a prefix made before
# them too.
wine_fonts_replace "$WINEPREFIX" || true
check "Wine shows Arial and Courier New by their Liberation twins, smoothed" \
    wine_fonts_replaced "$WINEPREFIX"

start_sim() {
    stop_sim
    rm -f "$sim_link"
    build/sim/tool/zul1x-sim --link "$sim_link" "$@" >"$logs/program-sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q . "$logs/program-sim.log" 2>/dev/null && break
        sleep 0.1
    done
}
# The commands the simulator has received, one a line ("B6", "05", ...).
sim_commands() { sed -nE 's/^ *[0-9]+\.[0-9]{3}  ([0-9A-F]{2}) .*/\1/p' "$logs/program-sim.log"; }
window_of() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
wait_window() { # PATTERN SECONDS: the window's id
    local id=""
    for _ in $(seq $(($2 * 10))); do
        id=$(window_of "$1") && [[ -n $id ]] && break
        sleep 0.1
    done
    [[ -n $id ]] && echo "$id"
}
wait_gone() { # PATTERN SECONDS
    for _ in $(seq $(($2 * 10))); do
        [[ -z $(window_of "$1") ]] && return 0
        sleep 0.1
    done
    return 1
}
shot() { import -window root "$screens/$1.png"; }

check "silent install" scripts/test-installer.sh install "$setup" "$WINEPREFIX"

# --- A complete healthy run, recorded and monitored ---------------------
start_sim
# The user's working folder is missing, as for a user who logged on while
# the setup ran or whose setup was elevated with another account.
rm -rf "$user_dir"
started_stamp=$logs/program-started.stamp
touch "$started_stamp"
records_dir=$WINEPREFIX/drive_c/zul10-records trace_file=$WINEPREFIX/drive_c/zul10.trace
rm -rf "$records_dir" "$trace_file"
mkdir -p "$records_dir" # a records folder (a share) is there before it takes records
ZUL10_RECORDS='C:\zul10-records' ZUL10_TRACE='C:\zul10.trace' \
    scripts/test-installer.sh start-shortcut "$WINEPREFIX" >"$logs/program-start.log" 2>&1
window=$(wait_window "$title" 60) || true
check "the main window appears" test -n "$window"
[[ -n $window ]] || { echo "Windows program: $passed passed, $((failed + 1)) failed"; exit 1; }
sleep 2
shot idle
check "the Start-menu start makes the user's folder and writes the settings file there" \
    test -f "$user_dir/ZUL1x_comm.ini"
# Without its folder the program would start where the shell is (here the
# work tree, on a bench PC often System32) and write there.
written_elsewhere() {
    find "$WINEPREFIX/drive_c" -name ZUL1x_comm.ini -newer "$started_stamp" ! -path "$user_dir/*"
    find "$root" -path "$root/build*" -prune -o -name ZUL1x_comm.ini -newer "$started_stamp" -print
}
check "... and nowhere else" test -z "$(written_elsewhere)"

# Return starts the run and moves on at each step (Start, then Next, has the
# focus), except at the mag display, where Clear has it: there the mouse
# clicks Next. The items' own waits (ms) and a margin for Wine decide when
# the next key goes.
eval "$(xdotool getwindowgeometry --shell "$window")"
menu=$((HEIGHT - 434)) # no window manager: the window is its client area and menu bar
next_x=$((X + 488 + 56)) next_y=$((Y + menu + 24 + 16))
step_ms=(1000 0 1000 1000 2000 0 2000 2000 1000 1000 1000 0)
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowactivate "$window" || true
for step in $(seq 0 11); do
    if ((step == 9)); then
        xdotool mousemove "$next_x" "$next_y" sleep 0.3 click 1
    else
        xdotool key --window "$window" Return
    fi
    sleep "$(((step_ms[step] + 1500) / 1000)).$((((step_ms[step] + 1500) % 1000) / 100))"
    if ((step == 8)); then
        sleep 1.5 # two polls of the live display
        shot mag
    fi
    ((step == 10)) && shot complete
done
shot back-to-idle
expected="B6 B4 A7 05 05 05 A7 05 05 05 A1 C0 05 EE E0 B0 B4 A2 05 B0 B4 A3 C1 05 EE 05 B0 B4 A4"
got=$(sim_commands | tr '\n' ' ')
check "a complete run over COM1 (the unit's record)" \
    bash -c '[[ "$1" == "$2"* ]] && [[ "$1" =~ (05 )+B0\ B4\ A6\ B0\ B4\ $ ]] || { echo "got: $1"; exit 1; }' \
    _ "$got" "$expected 05 "
# The result area (16 240 601 185 in the client area) as at the start.
result_area() { convert "$screens/$1.png" -crop "601x185+$((X + 16))+$((Y + menu + 240))" +repage "$screens/$1-result.png"; }
result_area idle
result_area complete
same_picture() { [[ $(compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1) == 0 ]]; }
# Back at idle, Start and Exit look as they did at the start.
buttons() { convert "$screens/$1.png" -crop "113x89+$((X + 488))+$((Y + menu + 24))" +repage "$screens/$1-buttons.png"; }
buttons idle
buttons back-to-idle
check "the run ends back at the idle screen" same_picture "$screens/idle-buttons.png" "$screens/back-to-idle-buttons.png"
check "COMPLETE was on the screen" bash -c '! [[ $(compare -metric AE "$1" "$2" null: 2>&1 | cut -d" " -f1) == 0 ]]' _ "$screens/idle-result.png" "$screens/complete-result.png"
# The program spooled the record and started zul10-records.exe forward,
# which delivers it to the folder on its own time.
for _ in $(seq 100); do
    cat "$records_dir"/zul10-*.jsonl 2>/dev/null | grep -q '"outcome"' && break
    sleep 0.1
done
# One record (format 2, records/RecordFormat.h): complete, each of the
# seven items passed, and of its judged values only the one never judged
# (the mag A/D sample) is no pass.
check "the run's record: complete, every item passed" \
    bash -c 'cat "$1"/zul10-*.jsonl | tee /dev/stderr |
             jq -se "length == 1 and .[0].outcome == \"complete\" and
                     ([.[0].items[].verdict] | length == 7 and all(. == \"pass\")) and
                     ([.[0].items[].values[] | select(.verdict != \"pass\")] | length == 1)" \
                 >/dev/null' \
    _ "$records_dir"
check "the line monitor: the commands the unit received, in order" \
    bash -c '[[ $(sed -nE "s/^ *[0-9.]+  TX +([0-9A-F]{2}) .*/\1/p" "$1" | tr "\n" " ") == "$2" ]] ||
             { cat "$1"; echo "unit: $2"; exit 1; }' _ "$trace_file" "$(sim_commands | tr '\n' ' ')"
"$WINE64" 'C:\Program Files\ZUL10\zul10-records.exe' summary 'C:\zul10-records' \
    >"$logs/records-summary.txt" 2>&1 || true
check "zul10-records.exe: one unit, complete" \
    bash -c 'tr -d "\r" <"$1" | grep -Eq "^All +1 +1 +0 +0 +0 +100\.0 %$" || { cat "$1"; exit 1; }' \
    _ "$logs/records-summary.txt"

# --- The port dialog from the menu, by keyboard ------------------------
xdotool key --window "$window" alt+o
sleep 0.5
xdotool key --window "$window" c
dialog=$(wait_window '^Setting RS232C port$' 10) || true
check "Opition > COM port opens the port dialog" test -n "$dialog"
shot port-dialog
[[ -n $dialog ]] && xdotool key --window "$dialog" Escape
wait_gone '^Setting RS232C port$' 10 || true

# --- A second copy ends at once ----------------------------------------
second_start=$SECONDS
status=0
timeout 30 "$WINE64" 'C:\Program Files\ZUL10\zul10.exe' >"$logs/program-second.log" 2>&1 || status=$?
check "a second copy ends at once with 0" \
    bash -c "(( $status == 0 && SECONDS - $second_start < 20 ))"

# --- Installing again while it runs, and once it closed -----------------
check "installing again while it runs changes nothing" \
    scripts/test-installer.sh while-running "$setup" "$WINEPREFIX"

# Interactively, the setup program asks to close the program; Retry while
# it still runs asks again, Retry once it was closed goes on to the pages.
# Its boxes and its window have the same title (the window's with a space
# at its end); .onInit's box comes first.
setup_title="^ZUL-1x Adjustment Program .* Setup ?\$"
"$WINE64" "$setup" >>"$logs/program-setup.log" 2>&1 &
setup_pid=$!
asked=$(wait_window "$setup_title" 60) || true
check "an interactive install while it runs asks to close it" test -n "$asked"
shot setup-asks-to-close
xdotool key --window "$asked" Return # Retry, the default button
sleep 2
again=$(wait_window "$setup_title" 30) || true
check "... Retry while it runs asks again" test -n "$again"

# Ctrl+X ends the program. The setup program's box is Wine's active window
# now, which takes the keys: a click on a blank spot of the item group makes
# the main window active again.
xdotool mousemove "$((X + 300))" "$((Y + menu + 112))" sleep 0.3 click 1 sleep 0.5
xdotool key --window "$window" ctrl+x
check "Ctrl+X ends the program" wait_gone "$title" 20
stop_sim
# The record forward (zul10-records.exe) may still deliver; it holds its
# program file until it ends.
wait_forwards() {
    for _ in $(seq 300); do
        pgrep -f 'zul10-records\.exe' >/dev/null || return 0
        sleep 0.1
    done
}
wait_forwards
# Retry: the directory page; Return: Install; once the files are in (the
# Start-menu entry made anew, the uninstall entry after it), Return: Close.
[[ -z $again ]] || xdotool key --window "$again" Return || true
sleep 3
page=$(wait_window "$setup_title" 30) || true
shot setup-directory-page
shortcut_file="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/ZUL-1x Adjustment Program.lnk"
touch "$logs/setup-install.stamp"
# A window takes the keys once it is Wine's active one: a click on a blank
# spot of it (below its header) makes it so.
press_return() { # WINDOW
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove "$((X + 30))" "$((Y + 100))" sleep 0.3 click 1 sleep 0.5
    xdotool key --window "$1" Return
}
[[ -z $page ]] || press_return "$page" || true
for _ in $(seq 1200); do
    [[ $shortcut_file -nt $logs/setup-install.stamp ]] && break
    sleep 0.1
done
sleep 3
shot setup-done
[[ -z $page ]] || press_return "$page" || true
for _ in $(seq 600); do
    kill -0 "$setup_pid" 2>/dev/null || break
    sleep 0.1
done
status=0
kill -0 "$setup_pid" 2>/dev/null && { kill "$setup_pid"; status=124; }
wait "$setup_pid" || status=$?
check "... Retry once it was closed installs (exit code 0)" test "$status" -eq 0

check "installing again once it closed" scripts/test-installer.sh upgrade "$setup" "$WINEPREFIX"

# --- A missing COM port ------------------------------------------------
printf '*** BILL VALIDATOR ***\r\nBORDRATE:CBR_9600\r\nCOMPORT:COM2\r\nSTOPBIT:ONESTOPBIT\r\nPARITYBIT:EVENPARITY\r\n' \
    >"$user_dir/ZUL1x_comm.ini"
scripts/test-installer.sh start-shortcut "$WINEPREFIX" >>"$logs/program-start.log" 2>&1
box=$(wait_window '^RS232C PORT$' 60) || true
check "a missing COM2 shows the RS232C PORT box" test -n "$box"
sleep 1
shot wrong-com-port
[[ -n $box ]] && xdotool key --window "$box" Return
window=$(wait_window "$title" 30) || true
check "the program goes on after the box" test -n "$window"
[[ -n $window ]] && xdotool key --window "$window" ctrl+x
wait_gone "$title" 20 || true

check "silent uninstall" scripts/test-installer.sh uninstall "$WINEPREFIX"
check "the COM names stayed pinned" wine_ports_pinned "$WINEPREFIX"

echo "Windows program: $passed passed, $failed failed (screenshots in $screens)"
((failed == 0))
