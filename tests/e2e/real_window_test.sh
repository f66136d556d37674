#!/usr/bin/env bash
# The real program in a real X window: zul10 started on a virtual display
# against the simulator tool, the run started with the Return key (Start has
# the focus at idle), the screen photographed before and after the erase;
# Cancel and Exit clicked with the mouse at their places.
#
#   real_window_test.sh ZUL10 ZUL1X_SIM OUTDIR
#
# The screenshots (idle.png, erased.png and crops of them) stay in OUTDIR.
# Exits 77 (skipped) when xvfb-run, xdotool or ImageMagick are missing.
set -euo pipefail

program=$(realpath "$1")
simulator=$(realpath "$2")
outdir=$(realpath -m "$3")

# The window's client area and the places in it (x y width height).
readonly CLIENT_W=632 CLIENT_H=434
readonly START_BUTTON=(488 24 113 33)
readonly EXIT_BUTTON=(488 80 113 33)
readonly ITEM1_LABEL=(30 24 190 20)
readonly RESULT_AREA=(16 240 601 185)

fail() {
    echo "real_window_test: $*" >&2
    exit 1
}

if [[ -z ${ZUL_REAL_WINDOW_DISPLAY:-} ]]; then
    for tool in xvfb-run xdotool import convert compare; do
        command -v "$tool" >/dev/null || { echo "real_window_test: no $tool: skipped"; exit 77; }
    done
    exec xvfb-run -a -s "-screen 0 1024x768x24" \
        env ZUL_REAL_WINDOW_DISPLAY=1 bash "$0" "$@"
fi

mkdir -p "$outdir"
rm -f "$outdir"/*.png
work=$(mktemp -d "${TMPDIR:-/tmp}/zul10-window.XXXXXX")
link=$work/ttyZUL
sim_pid=""
program_pid=""
cleanup() {
    if [[ -n $program_pid ]] && kill -0 "$program_pid" 2>/dev/null; then
        kill -TERM "$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    cp "$work"/*.log "$outdir"/ 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$simulator" --link "$link" >"$work/zul1x-sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do
    [[ -e $link ]] && break
    kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended: $(cat "$work/zul1x-sim.log")"
    sleep 0.05
done
[[ -e $link ]] || fail "no simulator link"

# Its own lock directory, so that another copy elsewhere on the machine does
# not keep it from starting; the settings file lands in the work directory.
(cd "$work" && exec env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" ZUL10_COM1="$link" \
    "$program" >"$work/zul10.log" 2>&1) &
program_pid=$!

window=""
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name '^ZUL-1x Adjustment Program$' 2>/dev/null |
        head -n 1) || true
    [[ -n $window ]] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
[[ -n $window ]] || fail "the main window did not appear: $(cat "$work/zul10.log")"
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

# x y of a point of the client area on the screen.
screen_x() { echo $((X + $1)); }
screen_y() { echo $((Y + menu + $1)); }
# The colour of a screen pixel as "r,g,b" (0-255).
pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -colorspace sRGB -type TrueColor \
        -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info:
}
# crop IMAGE NAME x y w h: the client-area rectangle as OUTDIR/NAME.png
crop() {
    convert "$1" -crop "$5x$6+$(screen_x "$3")+$(screen_y "$4")" +repage "$outdir/$2.png"
}
# Number of pixels in which two images differ.
differing() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1 || true; }
# Clicks the centre of a client-area rectangle (x y w h). No --sync on the
# move: it would wait for a motion that never comes when the pointer is
# already there (Cancel and Exit are the same button).
centre_click() {
    xdotool mousemove "$(screen_x $(($1 + $3 / 2)))" "$(screen_y $(($2 + $4 / 2)))" \
        sleep 0.2 click 1
}

import -window root "$outdir/idle.png"
crop "$outdir/idle.png" idle_result "${RESULT_AREA[@]}"
crop "$outdir/idle.png" idle_start "${START_BUTTON[@]}"
crop "$outdir/idle.png" idle_item1 "${ITEM1_LABEL[@]}"
convert "$outdir/idle.png" -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$outdir/idle_window.png"

# The window is drawn: the result area is white, the form around it is not
# the colour of the empty screen.
outside=$(pixel "$outdir/idle.png" 1023 767)
inside=$(pixel "$outdir/idle.png" "$(screen_x 8)" "$(screen_y 430)")
result_bg=$(pixel "$outdir/idle.png" "$(screen_x 560)" "$(screen_y 400)")
echo "empty screen $outside, form $inside, result area $result_bg"
[[ $inside != "$outside" ]] || fail "the form is not drawn ($inside)"
[[ $result_bg == 255,255,255 ]] ||
    fail "the result area is not white ($result_bg)"
grep -q . <<<"$(grep -E '^ *[0-9]+\.[0-9]{3} ' "$work/zul1x-sim.log")" &&
    fail "something was sent before Return"

xdotool windowfocus "$window"
sleep 0.3
xdotool key Return
# The erase: 0xB6, a 1000 ms wait, 0xB4.
for _ in $(seq 100); do
    grep -qE '^ *[0-9]+\.[0-9]{3}  B4 ' "$work/zul1x-sim.log" && break
    sleep 0.05
done
grep -qE '^ *[0-9]+\.[0-9]{3}  B6 ' "$work/zul1x-sim.log" || fail "Return sent no 0xB6"
grep -qE '^ *[0-9]+\.[0-9]{3}  B4 ' "$work/zul1x-sim.log" || fail "the erase did not end with 0xB4"
sleep 1  # the "Erasing Complete" screen is painted once the click returns

import -window root "$outdir/erased.png"
crop "$outdir/erased.png" erased_result "${RESULT_AREA[@]}"
crop "$outdir/erased.png" erased_start "${START_BUTTON[@]}"
crop "$outdir/erased.png" erased_item1 "${ITEM1_LABEL[@]}"
convert "$outdir/erased.png" -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$outdir/erased_window.png"

result_changed=$(differing "$outdir/idle_result.png" "$outdir/erased_result.png")
start_changed=$(differing "$outdir/idle_start.png" "$outdir/erased_start.png")
item1_changed=$(differing "$outdir/idle_item1.png" "$outdir/erased_item1.png")
echo "changed pixels: result area $result_changed, Start button $start_changed, item 1 $item1_changed"
((result_changed > 300)) || fail "the result area did not change"
((start_changed > 20)) || fail "the Start button did not become Next"
((item1_changed > 20)) || fail "item 1 did not take its done look"

# Cancel back to idle, then Exit ends the program with 0.
centre_click "${EXIT_BUTTON[@]}"
sleep 0.5
import -window root "$outdir/cancelled.png"
crop "$outdir/cancelled.png" cancelled_result "${RESULT_AREA[@]}"
back=$(differing "$outdir/idle_result.png" "$outdir/cancelled_result.png")
echo "result area after Cancel differs from idle in $back pixels"
((back == 0)) || fail "Cancel did not bring back the idle screen"
centre_click "${EXIT_BUTTON[@]}"
for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.05
done
kill -0 "$program_pid" 2>/dev/null && fail "Exit did not end the program"
status=0
wait "$program_pid" || status=$?
program_pid=""
((status == 0)) || fail "the program ended with $status: $(cat "$work/zul10.log")"
grep -cE '^ *[0-9]+\.[0-9]{3} ' "$work/zul1x-sim.log" | grep -qx 2 ||
    fail "Cancel or Exit sent something to the unit"
echo "real_window_test: passed; screenshots in $outdir"
