#!/usr/bin/env bash
# The real program in a real X window on a virtual display, against the
# simulator tool, driven with the keyboard and the mouse as an operator
# would, and photographed at every screen the operator meets:
#
#  run       a healthy unit: the idle screen, Return (Start has the focus at
#            idle) and the erase, Cancel; the "Opition" menu with the port
#            dialog and the version dialog; then a whole run to
#            "**** COMPLETE ****" and "Change acceptor unit.", Return at the
#            live mag display (it presses Clear) and Next clicked there; Exit.
#  failure   a unit whose white level fails: the report and "Click Cancel".
#  scan      a station that asks for the unit's serial number at Start: the
#            dialog, a refused number, a taken one.
#  boxes     a station file with a bad line, a spool that cannot be written
#            and a port that cannot be opened: the three boxes at start-up.
#
# At each screen it checks what is cheap to check and real: the item labels'
# looks, the button captions and what is enabled (by their pixels against
# those of the first screens), the live bars, and what the unit received
# (the simulator's log).
#
#   real_window_test.sh ZUL10 ZUL1X_SIM OUTDIR
#
# OUTDIR/screens holds one crop per screen, named after it (idle.png,
# insert-paper.png, ..., box-run-records.png): the window, or the dialog or
# box alone. OUTDIR/raw holds the whole screen at each of them, OUTDIR/logs
# the logs of the program and of the simulator.
# Exits 77 (skipped) when xvfb-run, xdotool, ImageMagick or jq are missing.
#
# The program only ever sees the simulator's pseudo-terminal or a missing
# path as its ports (every ZUL10_COMn is set), a station file of the test's
# own, and a state folder of the test's own.
set -euo pipefail

program=$(realpath "$1")
simulator=$(realpath "$2")
outdir=$(realpath -m "$3")

# The window's client area and the places in it (x y width height).
readonly CLIENT_W=632 CLIENT_H=434
readonly START_BUTTON=(488 24 113 33)
readonly EXIT_BUTTON=(488 80 113 33)
readonly CLEAR_BUTTON=(491 140 113 33)
readonly ITEM1_LABEL=(30 24 190 20)
readonly RESULT_AREA=(16 240 601 185)
readonly UPPER_PART=(0 0 632 238)  # everything above the result area
# The two bars and the two numbers of the live mag display.
# (Read through namerefs, which shellcheck does not follow.)
# shellcheck disable=SC2034
readonly PEAK_BAR=(112 144 305 19) AD_BAR=(112 172 305 19) \
    PEAK_VALUE=(422 144 35 20) AD_VALUE=(422 172 35 20)
# The seven item labels (x y; each 190 x 20).
readonly ITEM_LABELS=("30 24" "30 46" "30 68" "30 90" "246 24" "246 46" "246 68")
readonly MAIN_TITLE='ZUL-1x Adjustment Program'

fail() {
    echo "real_window_test: $*" >&2
    exit 1
}

if [[ -z ${ZUL_REAL_WINDOW_DISPLAY:-} ]]; then
    for tool in xvfb-run xdotool import convert compare jq; do
        command -v "$tool" >/dev/null || { echo "real_window_test: no $tool: skipped"; exit 77; }
    done
    exec xvfb-run -a -s "-screen 0 1024x768x24" \
        env ZUL_REAL_WINDOW_DISPLAY=1 bash "$0" "$@"
fi

raw=$outdir/raw
screens=$outdir/screens
rm -rf "$raw" "$screens" "$outdir/logs"
mkdir -p "$raw" "$screens" "$outdir/logs"
work=$(mktemp -d "${TMPDIR:-/tmp}/zul10-window.XXXXXX")
# Its own lock directory, so that another copy elsewhere on the machine does
# not keep it from starting.
mkdir -m 700 "$work/lock"
sim_pid=""
program_pid=""
cleanup() {
    if [[ -n $program_pid ]] && kill -0 "$program_pid" 2>/dev/null; then
        kill -TERM "$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    stop_sim
    local log
    for log in "$work"/*/*.log; do
        [[ -e $log ]] && cp "$log" "$outdir/logs/$(basename "$(dirname "$log")")-$(basename "$log")"
    done
    rm -rf "$work"
}
trap cleanup EXIT

# --- The simulator and the program -----------------------------------------

# start_sim SESSION PRESET: the simulated unit on $work/SESSION/ttyZUL
# (link), its exchange log in sim_log.
start_sim() {
    local dir=$work/$1
    mkdir -p "$dir"
    link=$dir/ttyZUL
    sim_log=$dir/zul1x-sim.log
    "$simulator" --link "$link" --preset "$2" >"$sim_log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 200); do
        [[ -e $link ]] && return 0
        kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended: $(cat "$sim_log")"
        sleep 0.05
    done
    fail "no simulator link"
}

stop_sim() {
    if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    sim_pid=""
}

# start_program SESSION DEVICE [NAME=VALUE...]: the program in $work/SESSION
# (where its settings file lands) with every port COM1 to COM7 at DEVICE, a
# station file, a state folder (the spool) and a records folder of the
# session's own, none of the ZUL10_ variables of the caller, and the
# variables given.
start_program() {
    local dir=$work/$1 device=$2 name n
    shift 2
    local -a settings=(QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/lock"
        XDG_STATE_HOME="$dir/state" ZUL10_STATION_FILE="$dir/station.conf"
        ZUL10_RECORDS="$dir/records")
    local -a unset=()
    for name in $(compgen -e); do
        [[ $name == ZUL10_* ]] && unset+=(-u "$name")
    done
    for n in 1 2 3 4 5 6 7; do settings+=("ZUL10_COM$n=$device"); done
    mkdir -p "$dir/state"
    program_log=$dir/zul10.log
    (cd "$dir" && exec env "${unset[@]}" "${settings[@]}" "$@" "$program" >"$program_log" 2>&1) &
    program_pid=$!
}

# await_end: the program ends, with status 0, within 5 s.
await_end() {
    for _ in $(seq 100); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -0 "$program_pid" 2>/dev/null && fail "Exit did not end the program"
    local status=0
    wait "$program_pid" || status=$?
    program_pid=""
    ((status == 0)) || fail "the program ended with $status: $(cat "$program_log")"
}

# The commands the unit received, as their codes ("B6 B4 A7 05 ...").
sent() {
    awk '/^ *[0-9]+\.[0-9][0-9][0-9]  [0-9A-F][0-9A-F] / { printf "%s%s", sep, $2; sep = " " }' \
        "$sim_log"
}

# await_sent REGEX: within 5 s the commands received are, as a whole, REGEX.
await_sent() {
    for _ in $(seq 100); do
        [[ $(sent) =~ ^$1$ ]] && return 0
        sleep 0.05
    done
    fail "the unit received '$(sent)', not /$1/"
}

# records SESSION: the runs the program recorded in its spool, one word
# each: the outcome, ":item" of a failure, ":unit" when one was scanned.
records() {
    cat "$work/$1"/state/zul10/records/zul10-*.jsonl 2>/dev/null |
        jq -r '[.outcome, (.failed_item // empty | tostring), (.unit // empty)] | join(":")' |
        paste -sd ' '
}

# --- Windows on the screen -------------------------------------------------

# visible TITLE: the id of the visible window of that title; fails (1)
# when there is none.
visible() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 | grep .
}

# await_window TITLE: the id of the window of that title once it shows
# (within 20 s, while the program runs).
await_window() {
    local id
    for _ in $(seq 200); do
        id=$(visible "$1") && { echo "$id"; return 0; }
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.1
    done
    fail "no window '$1' appeared: $(cat "$program_log")"
}

# await_gone TITLE: that window is gone within 5 s.
await_gone() {
    for _ in $(seq 50); do
        visible "$1" >/dev/null || return 0
        sleep 0.1
    done
    fail "the window '$1' did not go"
}

# await_main: finds the main window and checks its size and place; sets
# window, X, Y, WIDTH, HEIGHT and menu.
await_main() {
    window=$(await_window "$MAIN_TITLE")
    # The keyboard to it, as a window manager gives it to a new window: the
    # focus frame on Start shows.
    xdotool windowfocus "$window"
    sleep 1  # let it paint
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # Without a window manager the window has no frame: its position is the
    # client origin, and its height is the client area plus the menu bar.
    menu=$((HEIGHT - CLIENT_H))
    echo "window $window at $X,$Y size ${WIDTH}x$HEIGHT (menu bar $menu px)"
    ((WIDTH == CLIENT_W)) || fail "window width $WIDTH, not $CLIENT_W"
    ((menu >= 15 && menu <= 40)) || fail "window height $HEIGHT: no menu bar of 15 to 40 px over $CLIENT_H"
    # Centred on the 1024 x 768 screen (no frame to count here).
    ((X == (1024 - WIDTH) / 2 && Y == (768 - HEIGHT) / 2)) || fail "window not centred at $X,$Y"
    window_area="${WIDTH}x$HEIGHT+$X+$Y"
}

# key_main KEY...: keys typed into the main window.
key_main() {
    xdotool windowfocus "$window"
    sleep 0.2
    xdotool key "$@"
}

# Clicks the centre of a client-area rectangle (x y w h). No --sync on the
# move: it would wait for a motion that never comes when the pointer is
# already there (Cancel and Exit are the same button).
centre_click() {
    xdotool mousemove "$((X + $1 + $3 / 2))" "$((Y + menu + $2 + $4 / 2))" sleep 0.2 click 1
}

# --- Pixels ----------------------------------------------------------------

# area x y w h: the screen geometry (WxH+X+Y) of a client-area rectangle.
area() { echo "$3x$4+$((X + $1))+$((Y + menu + $2))"; }
# caption x y w h: the middle of a button, where its caption is and its
# focus frame is not.
caption() { area $(($1 + $3 / 4)) $(($2 + $4 / 3)) $(($3 / 2)) $(($4 / 3)); }
readonly DARK='max(r,max(g,b))<0.3' BLUE='b>0.8&&r<0.3&&g<0.3'
# measure IMAGE PROBE...: one line for each PROBE, GEOMETRY:sig for a checksum
# of the pixels of that part of the image, GEOMETRY:FX for the number of its
# pixels for which FX holds. One run of convert for all.
measure() {
    local image=$1 probe what
    local -a args=()
    shift
    for probe in "$@"; do
        what=${probe#*:}
        args+=(\( +clone -crop "${probe%%:*}" +repage)
        if [[ $what == sig ]]; then
            args+=(-format '%#\n')
        else
            args+=(-fx "$what" -format '%[fx:round(mean*w*h)]\n')
        fi
        args+=(-write info:- +delete \))
    done
    convert "$image" "${args[@]}" null:
}
sig() { measure "$1" "$2:sig"; }
dark() { measure "$1" "$2:$DARK"; }
# The colour of a screen pixel as "r,g,b" (0-255).
pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -colorspace sRGB -type TrueColor \
        -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info:
}
# Number of pixels in which two images differ.
differing() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1 || true; }
# enabled IMAGE BUTTON...: the button's caption is drawn in black (a disabled
# one is grey).
enabled() { (($(dark "$1" "$(caption "${@:2}")") > 10)); }

# looks IMAGE: the seven item labels' looks, one letter each: C current
# (blue), I idle (black), D done (greyed).
looks() {
    local position x y geometry letters="" blue black
    local -a probes=()
    for position in "${ITEM_LABELS[@]}"; do
        read -r x y <<<"$position"
        geometry=$(area "$x" "$y" 190 20)
        probes+=("$geometry:$BLUE" "$geometry:$DARK")
    done
    while read -r blue && read -r black; do
        if ((blue > 20)); then
            letters+=C
        elif ((black > 20)); then
            letters+=I
        else
            letters+=D
        fi
    done < <(measure "$1" "${probes[@]}")
    echo "$letters"
}

# filled IMAGE BAR...: the bar is filled at a third of its length and empty
# at nine tenths (a live reading between those).
filled() {
    local y=$((Y + menu + $3 + $5 / 2))
    [[ $(pixel "$1" $((X + $2 + $4 / 3)) "$y") != "$(pixel "$1" $((X + $2 + $4 * 9 / 10)) "$y")" ]]
}

# crop NAME PART x y w h: a client-area rectangle of raw/NAME.png as raw/PART.png.
crop() { convert "$raw/$1.png" -crop "$(area "${@:3}")" +repage "$raw/$2.png"; }
# snap NAME: the whole screen as raw/NAME.png.
snap() { import -window root "$raw/$1.png"; }
# keep NAME [GEOMETRY]: the main window (or the part at GEOMETRY) of
# raw/NAME.png as screens/NAME.png.
keep() { convert "$raw/$1.png" -crop "${2:-$window_area}" +repage "$screens/$1.png"; }
# keep_window NAME TITLE: the screen with that window on it, kept as NAME,
# the window alone in screens/; sets shown to its geometry.
keep_window() {
    local id
    id=$(await_window "$2")
    sleep 0.5  # let it paint
    eval "$(xdotool getwindowgeometry --shell "$id" | sed 's/^/D/')"
    shown="${DWIDTH}x$DHEIGHT+$DX+$DY"
    snap "$1"
    keep "$1" "$shown"
    echo "$1: '$2' at $shown"
}

# await_screen NAME: waits (up to 15 s) for the next screen of the run: the
# result area no longer the last screen's, Exit enabled (not blocked in an
# item), and the window the same in two looks in a row. Keeps it as NAME.
last_result=""
await_screen() {
    local shot=$raw/$1.png previous="" now result exit_dark
    for _ in $(seq 75); do
        import -window root "$shot"
        { read -r result && read -r now && read -r exit_dark; } < <(measure "$shot" \
            "$(area "${RESULT_AREA[@]}"):sig" "$window_area:sig" "$(caption "${EXIT_BUTTON[@]}"):$DARK")
        if [[ $result != "$last_result" && $now == "$previous" ]] && ((exit_dark > 10)); then
            last_result=$result
            keep "$1"
            return 0
        fi
        previous=$now
        sleep 0.1
    done
    fail "the screen $1 did not come"
}

# The Start and Exit buttons as they look with each caption, from the first
# screens: start and exit at idle (Start with the focus), next and cancel
# after the erase.
declare -A button
# check_screen NAME LOOKS START EXIT: the item labels' looks, and each
# button as in button[START] and button[EXIT]; "off" for a disabled one,
# "on" for any enabled one.
check_screen() {
    local shot=$raw/$1.png got which part want
    got=$(looks "$shot")
    [[ $got == "$2" ]] || fail "$1: item labels $got, not $2"
    for which in "Start $3" "Exit $4"; do
        read -r part want <<<"$which"
        local -n rect=${part^^}_BUTTON
        case $want in
        on) enabled "$shot" "${rect[@]}" || fail "$1: $part is not enabled" ;;
        off) enabled "$shot" "${rect[@]}" && fail "$1: $part is enabled" ;;
        *)
            [[ $(sig "$shot" "$(area "${rect[@]}")") == "${button[$want]}" ]] ||
                fail "$1: $part does not show '$want'"
            ;;
        esac
        unset -n rect
    done
    echo "$1: items $got, Start $3, Exit $4"
}

# step NAME LOOKS START EXIT SENT: Return (on Start), the next screen as
# NAME with its checks, and the commands the unit received up to it.
expected=""
step() {
    key_main Return
    await_screen "$1"
    check_screen "$@"
    expected+=$5
    await_sent "$expected"
}

readonly LEVER=" A7 05 05 05"
readonly WHITE=" A1 C0 05 EE E0 B0 B4"
readonly BLACK=" A2 05 B0 B4"
readonly NON_PAPER=" A3 C1 05 EE 05 B0 B4"
readonly MAG_START=" A4 05"  # the start of the reading; the live polls follow

# --- run: a healthy unit ----------------------------------------------------

start_sim run healthy
start_program run "$link"
await_main

snap idle
keep idle
crop idle idle_result "${RESULT_AREA[@]}"
crop idle idle_start "${START_BUTTON[@]}"
crop idle idle_item1 "${ITEM1_LABEL[@]}"

# The window is drawn: the result area is white, the form around it is not
# the colour of the empty screen.
outside=$(pixel "$raw/idle.png" 1023 767)
inside=$(pixel "$raw/idle.png" $((X + 8)) $((Y + menu + 430)))
result_bg=$(pixel "$raw/idle.png" $((X + 560)) $((Y + menu + 400)))
echo "empty screen $outside, form $inside, result area $result_bg"
[[ $inside != "$outside" ]] || fail "the form is not drawn ($inside)"
[[ $result_bg == 255,255,255 ]] || fail "the result area is not white ($result_bg)"
[[ -z $(sent) ]] || fail "something was sent before Return"
button[start]=$(sig "$raw/idle.png" "$(area "${START_BUTTON[@]}")")
button[exit]=$(sig "$raw/idle.png" "$(area "${EXIT_BUTTON[@]}")")
last_result=$(sig "$raw/idle.png" "$(area "${RESULT_AREA[@]}")")
idle_result=$last_result
check_screen idle IIIIIII start exit

# Return starts the run: the erase, 0xB6, a 1000 ms wait, 0xB4.
key_main Return
await_sent "B6 B4"
await_screen erased
crop erased erased_result "${RESULT_AREA[@]}"
crop erased erased_start "${START_BUTTON[@]}"
crop erased erased_item1 "${ITEM1_LABEL[@]}"
result_changed=$(differing "$raw/idle_result.png" "$raw/erased_result.png")
start_changed=$(differing "$raw/idle_start.png" "$raw/erased_start.png")
item1_changed=$(differing "$raw/idle_item1.png" "$raw/erased_item1.png")
echo "changed pixels: result area $result_changed, Start button $start_changed, item 1 $item1_changed"
((result_changed > 300)) || fail "the result area did not change"
((start_changed > 20)) || fail "the Start button did not become Next"
((item1_changed > 20)) || fail "item 1 did not take its done look"
button[next]=$(sig "$raw/erased.png" "$(area "${START_BUTTON[@]}")")
button[cancel]=$(sig "$raw/erased.png" "$(area "${EXIT_BUTTON[@]}")")
[[ ${button[cancel]} != "${button[exit]}" ]] || fail "the Exit button did not become Cancel"
check_screen erased DIIIIII next cancel

# Cancel back to idle, sending nothing.
centre_click "${EXIT_BUTTON[@]}"
await_screen cancelled
[[ $last_result == "$idle_result" ]] || fail "Cancel did not bring back the idle screen"
check_screen cancelled IIIIIII on on
await_sent "B6 B4"
expected="B6 B4"

# "Opition" > "COM port": the port dialog, with the port in use and the
# locked line settings (9600 8E1) chosen.
key_main alt+o
sleep 0.5
snap opition-menu
keep opition-menu
(($(differing "$raw/idle.png" "$raw/opition-menu.png") > 300)) || fail "Alt+O opened no menu"
xdotool key c
keep_window port-dialog 'Setting RS232C port'
# chosen GROUP_X GROUP_Y STEP N: the index of the radio button of N in a
# column (from x y, STEP apart) whose mark differs from the others'.
chosen() {
    local -A seen=()
    local -a marks=()
    local i mark
    for ((i = 0; i < $4; i++)); do
        mark=$(sig "$raw/port-dialog.png" "12x12+$((DX + $1))+$((DY + $2 + i * $3 + 5))")
        marks+=("$mark")
        seen[$mark]=$((${seen[$mark]:-0} + 1))
    done
    for ((i = 0; i < $4; i++)); do
        ((${seen[${marks[i]}]} == 1)) && { echo "$i"; return 0; }
    done
    echo none
}
port=$(chosen 17 18 22 7)
baud=$(chosen 99 18 21 5)
parity=$(chosen 216 17 23 3)
echo "port dialog: port $port, baud rate $baud, parity $parity"
[[ $port == 0 ]] || fail "the port dialog does not show COM-1 ($port)"
[[ $baud == 2 && $parity == 1 ]] || fail "the port dialog does not show 9600 bps, even parity"
xdotool windowfocus "$(visible 'Setting RS232C port')" key Escape
await_gone 'Setting RS232C port'

# "Opition" > "Version".
key_main alt+o
sleep 0.5
xdotool key v
keep_window version-dialog Version
(($(dark "$raw/version-dialog.png" "150x50+$((DX + 110))+$((DY + 10))") > 50)) ||
    fail "the version dialog shows no text"
xdotool windowfocus "$(visible Version)" key Escape
await_gone Version
sleep 0.3
snap after-dialogs
[[ $(sig "$raw/after-dialogs.png" "$(area "${RESULT_AREA[@]}")") == "$idle_result" ]] ||
    fail "the dialogs changed the idle screen"
await_sent "$expected"

# A whole run. Cancel left the focus on Exit: Start is clicked.
centre_click "${START_BUTTON[@]}"
await_screen erased-again
check_screen erased-again DIIIIII next cancel
expected+=" B6 B4"
await_sent "$expected"
step insert-paper DIIIIII next cancel ""
step remove-paper DCIIIII next cancel "$LEVER"
step insert-white DDIIIII next cancel "$LEVER"
step remove-white DDCIIII next cancel "$WHITE"
step insert-black DDDIIII next cancel ""
step remove-black DDDCIII next cancel "$BLACK"
step insert-mag DDDDDII next cancel "$NON_PAPER"
for part in PEAK_BAR AD_BAR; do
    declare -n rect=$part
    filled "$raw/insert-mag.png" "${rect[@]}" && fail "insert-mag: $part is not empty"
    unset -n rect
done

# The live display: Clear shows and has the focus; the unit is polled.
key_main Return
await_sent "$expected$MAG_START( 05)+"  # the start, and at least one poll of the timer
expected+="$MAG_START( 05)*"
await_screen mag-live
check_screen mag-live DDDDDCI on cancel
[[ $(sig "$raw/mag-live.png" "$(area "${CLEAR_BUTTON[@]}")") != \
    "$(sig "$raw/insert-mag.png" "$(area "${CLEAR_BUTTON[@]}")")" ]] || fail "mag-live: no Clear"
for part in PEAK_BAR AD_BAR; do
    declare -n rect=$part
    filled "$raw/mag-live.png" "${rect[@]}" || fail "mag-live: $part shows no reading"
    unset -n rect
done
for part in PEAK_VALUE AD_VALUE; do
    declare -n rect=$part
    (($(dark "$raw/mag-live.png" "$(area "${rect[@]}")") > 10)) || fail "mag-live: no $part"
    unset -n rect
done
# Return here is Clear: the reading starts again, the screen stays.
key_main Return
await_sent "$expected$MAG_START( 05)+"
expected+="$MAG_START( 05)*"
snap mag-cleared
[[ $(sig "$raw/mag-cleared.png" "$(area "${RESULT_AREA[@]}")") == "$last_result" ]] ||
    fail "Return at the live display did not stay there"
# Next, with the mouse.
centre_click "${START_BUTTON[@]}"
await_screen remove-mag
check_screen remove-mag DDDDDCI next cancel
expected+=" B0 B4"
await_sent "$expected"
[[ $(sig "$raw/remove-mag.png" "$(area "${CLEAR_BUTTON[@]}")") == \
    "$(sig "$raw/insert-mag.png" "$(area "${CLEAR_BUTTON[@]}")")" ]] || fail "remove-mag: Clear stays"
(($(dark "$raw/remove-mag.png" "$(area "${PEAK_VALUE[@]}")") == 0)) ||
    fail "remove-mag: the mag numbers stay"
step complete DDDDDDD next exit " A6 B0 B4"
step change-unit IIIIIII start exit ""
[[ $(sig "$raw/change-unit.png" "$(area "${UPPER_PART[@]}")") == \
    "$(sig "$raw/idle.png" "$(area "${UPPER_PART[@]}")")" ]] ||
    fail "change-unit: the window above the result area is not as at idle"

centre_click "${EXIT_BUTTON[@]}"
await_end
await_sent "$expected"
stop_sim
echo "run: the unit received $(sent)"
[[ $(records run) == "cancelled complete" ]] || fail "run: the records say '$(records run)'"

# --- failure: the white level fails ------------------------------------------

start_sim failure white-fail
start_program failure "$link"
await_main
last_result=$idle_result
expected=""
step failure-erased DIIIIII next cancel "B6 B4"
step failure-insert-paper DIIIIII next cancel ""
step failure-remove-paper DCIIIII next cancel "$LEVER"
step failure-insert-white DDIIIII next cancel "$LEVER"
# No EEPROM write after a failed judgement.
step white-failed DDCIIII off cancel " A1 C0 05 EE E0"
centre_click "${EXIT_BUTTON[@]}"
await_screen failure-cancelled
[[ $last_result == "$idle_result" ]] || fail "Cancel after the failure did not bring back idle"
check_screen failure-cancelled IIIIIII on on
centre_click "${EXIT_BUTTON[@]}"
await_end
await_sent "$expected"
stop_sim
[[ $(records failure) == "failed:3" ]] || fail "failure: the records say '$(records failure)'"

# --- scan: the unit's serial number at Start ---------------------------------

start_sim scan healthy
start_program scan "$link" ZUL10_UNIT_ID=scan 'ZUL10_UNIT_ID_PATTERN=ZU[0-9]{6}'
await_main
last_result=$idle_result
key_main Return
keep_window serial-number 'Unit serial number'
# The dialog takes the keyboard as it opens: the number is typed into it.
xdotool type --delay 30 12345
xdotool key Return
sleep 0.5
snap serial-number-refused
keep serial-number-refused "$shown"
visible 'Unit serial number' >/dev/null || fail "a refused number closed the dialog"
(($(differing "$screens/serial-number.png" "$screens/serial-number-refused.png") > 300)) ||
    fail "no line says the number was refused"
[[ -z $(sent) ]] || fail "something was sent before the serial number was taken"
# The text stays selected: the next number replaces it.
xdotool type --delay 30 ZU123456
xdotool key Return
await_gone 'Unit serial number'
await_screen scan-erased
check_screen scan-erased DIIIIII on cancel
await_sent "B6 B4"
centre_click "${EXIT_BUTTON[@]}"
await_screen scan-cancelled
centre_click "${EXIT_BUTTON[@]}"
await_end
stop_sim
[[ $(records scan) == "cancelled:ZU123456" ]] || fail "scan: the records say '$(records scan)'"

# --- boxes: what a bench set up wrong shows at start-up ---------------------

mkdir -p "$work/boxes"
printf '%s\n' "# bench 3" "records = $work/boxes/share" "colour = blue" >"$work/boxes/station.conf"
touch "$work/boxes/state-file"
start_program boxes "$work/boxes/no-such-port" XDG_STATE_HOME="$work/boxes/state-file"
for box in "STATION FILE" "RUN RECORDS" "RS232C PORT"; do
    name=box-$(tr 'A-Z ' 'a-z-' <<<"$box")
    keep_window "$name" "$box"
    visible "$MAIN_TITLE" >/dev/null && fail "the main window came before the box $box"
    xdotool windowfocus "$(visible "$box")" key Return
    await_gone "$box"
done
await_main
snap boxes-idle
[[ $(sig "$raw/boxes-idle.png" "$(area "${RESULT_AREA[@]}")") == "$idle_result" ]] ||
    fail "after the boxes the program is not idle"
centre_click "${EXIT_BUTTON[@]}"
await_end
[[ ! -e $work/boxes/ZUL1x_comm.ini ]] || fail "a port that could not be opened was stored"

echo "real_window_test: passed; screens in $screens"
