#!/usr/bin/env bash
# Takes the operator's screenshots again: builds what is needed (as
# scripts/run.sh does), runs the real-window test on a virtual display and
# copies its crops into docs/images/ as small palette PNGs.
#
#   scripts/screenshots.sh
#
# docs/images/operator/NAME.png  one per screen the operator meets (the list
#                                below), the window or the dialog or box alone
# docs/images/main-window.png    the whole window mid-run (the live mag display)
#
# The test's own output (every screen, the whole display at each, the logs)
# stays in build/screenshots/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The screens kept, in the order an operator meets them; each is the test's
# crop of the same name.
SCREENS=(
    idle erased insert-paper remove-paper insert-white remove-white insert-black
    remove-black insert-mag mag-live remove-mag complete change-unit
    white-failed
    opition-menu port-dialog version-dialog
    serial-number serial-number-refused
    box-station-file box-run-records box-rs232c-port
)
MAIN_WINDOW=mag-live

scripts/deps.sh
scripts/build.sh build
out=$root/build/screenshots
status=0
bash tests/e2e/real_window_test.sh build/app/zul10 build/sim/tool/zul1x-sim "$out" || status=$?
if ((status == 77)); then
    echo "screenshots.sh: the real-window test was skipped (a tool is missing); nothing taken" >&2
    exit 1
elif ((status != 0)); then
    echo "screenshots.sh: the real-window test failed ($status); the pictures were not replaced" >&2
    exit 1
fi

# small NAME TARGET: the crop NAME as TARGET, 64 colours, no metadata (no
# dates either, so that the same screen gives the same file).
small() {
    convert "$out/screens/$1.png" -strip +dither -colors 64 \
        -define png:exclude-chunks=date,time "$2"
}

images=$root/docs/images
mkdir -p "$images/operator"
rm -f "$images"/operator/*.png
for name in "${SCREENS[@]}"; do
    [[ -f $out/screens/$name.png ]] || { echo "screenshots.sh: the test took no $name" >&2; exit 1; }
    small "$name" "$images/operator/$name.png"
done
small "$MAIN_WINDOW" "$images/main-window.png"

for file in "$images/main-window.png" "${SCREENS[@]/%/.png}"; do
    [[ $file == /* ]] || file=$images/operator/$file
    printf '%-48s %s %6d bytes\n' "${file#"$root"/}" "$(identify -format '%wx%h' "$file")" \
        "$(stat -c %s "$file")"
done
