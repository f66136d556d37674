#!/usr/bin/env bash
# The package as an operator meets it: builds it (scripts/package.sh), checks
# its file list, its desktop entry and lintian's verdict, unpacks it into a
# scratch root and runs the unpacked zul10 against the unpacked zul1x-sim:
# offscreen until it has opened its port, then in a window on a virtual
# display, where Start is clicked and the unit must receive the erase (0xB6,
# then 0xB4).
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "package_test: FAIL: $*" >&2
    exit 1
}

scripts/package.sh
debs=(dist/zul10_*_amd64.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "not exactly one package in dist/: ${debs[*]}"
deb=${debs[0]}

work=$(mktemp -d "${TMPDIR:-/tmp}/zul10-package.XXXXXX")
sim_pid=""
program_pid=""
cleanup() {
    for pid in "$program_pid" "$sim_pid"; do
        [[ -n $pid ]] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in usr/bin/zul10 usr/bin/zul1x-sim usr/bin/zul10-records \
    usr/share/applications/zul10.desktop usr/share/icons/hicolor/32x32/apps/zul10.png \
    usr/share/man/man1/zul10.1.gz usr/share/man/man1/zul1x-sim.1.gz \
    usr/share/man/man1/zul10-records.1.gz usr/share/doc/zul10/copyright etc/zul10/station.conf; do
    grep -qx "./$file" <<<"$listing" || fail "$deb holds no /$file"
done
# The station file is the package's configuration file: an upgrade keeps
# the bench's own.
dpkg-deb --info "$deb" conffiles | grep -qx /etc/zul10/station.conf ||
    fail "/etc/zul10/station.conf is no conffile of $deb"
# Installed into a scratch root of its own, edited, and installed again as
# an upgrade would: the edited station file stays.
dpkg_root=$work/dpkg-root
mkdir -p "$dpkg_root"/var/lib/dpkg/{info,updates,triggers,alternatives}
touch "$dpkg_root/var/lib/dpkg/status"
install_into_root() {
    dpkg --root="$dpkg_root" --force-depends --force-script-chrootless --no-triggers \
        -i "$deb" </dev/null >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
}
install_into_root
echo "station = BENCH-EDITED" >>"$dpkg_root/etc/zul10/station.conf"
install_into_root
grep -qx "station = BENCH-EDITED" "$dpkg_root/etc/zul10/station.conf" ||
    fail "installing again overwrote the edited station file"
# The library dependencies come from dpkg-shlibdeps.
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' ||
    fail "no Qt libraries in Depends: $(dpkg-deb -f "$deb" Depends)"
# zul10-records delivers into PostgreSQL through libpq.
dpkg-deb -f "$deb" Depends | grep -q 'libpq5' ||
    fail "no libpq5 in Depends: $(dpkg-deb -f "$deb" Depends)"
lintian --fail-on error "$deb" || fail "lintian reports errors on $deb"

root=$work/root
dpkg -x "$deb" "$root"
entry=$root/usr/share/applications/zul10.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the desktop entry"
grep -qx 'Name=ZUL-1x Adjustment Program' "$entry" || fail "the menu entry is not named"
grep -qx 'Terminal=false' "$entry" || fail "the menu entry starts a terminal"
command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[[ -x $root/usr/bin/$command ]] || fail "the menu entry starts '$command', not in /usr/bin"
icon=$(sed -n 's/^Icon=//p' "$entry")
file "$root/usr/share/icons/hicolor/32x32/apps/$icon.png" | grep -q 'PNG image data, 32 x 32' ||
    fail "no 32 x 32 PNG icon '$icon'"

program=$root/usr/bin/zul10
simulator=$root/usr/bin/zul1x-sim
# The station file as shipped (all comments: it turns nothing on, and has
# nothing a box would name), never this machine's own.
export ZUL10_STATION_FILE=$root/etc/zul10/station.conf
# No port name may lead to a serial device of this machine.
for n in 1 2 3 4 5 6 7; do export "ZUL10_COM$n=$work/no-line"; done

# Offscreen: the program starts from the package and opens its port, which
# writes the settings file into its working directory.
link=$work/ttyZUL
"$simulator" --link "$link" >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    [[ -e $link ]] && break
    sleep 0.05
done
[[ -e $link ]] || fail "the unpacked zul1x-sim made no line: $(cat "$work/sim.log")"
mkdir "$work/home"
(cd "$work/home" && exec env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" \
    ZUL10_COM1="$link" "$program" >"$work/zul10.log" 2>&1) &
program_pid=$!
for _ in $(seq 100); do
    [[ -s $work/home/ZUL1x_comm.ini ]] && break
    sleep 0.05
done
[[ -s $work/home/ZUL1x_comm.ini ]] || fail "no settings file in the working directory"
sleep 0.5
kill -0 "$program_pid" 2>/dev/null || fail "the unpacked zul10 ended: $(cat "$work/zul10.log")"
grep -qE '^ *[0-9]+\.[0-9]{3}  [0-9A-F]{2} ' "$work/sim.log" && fail "zul10 sent a command at start-up"
kill -TERM "$program_pid" "$sim_pid" 2>/dev/null || true
wait "$program_pid" "$sim_pid" 2>/dev/null || true
program_pid="" sim_pid=""

# In a window: the idle screen, then Start answered by the erase.
status=0
bash tests/e2e/real_window_test.sh "$program" "$simulator" build-pkg/package_test_screens ||
    status=$?
((status != 77)) || fail "xvfb-run, xdotool or ImageMagick missing (scripts/deps.sh installs them)"
((status == 0)) || fail "the unpacked program failed in its window"

echo "package_test: PASS: $deb installs zul10 with its menu entry, icon and manual pages," \
    "starts and erases the simulated unit on Start"
