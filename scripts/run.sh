#!/usr/bin/env bash
# Builds everything and starts the adjustment program.
#
#   scripts/run.sh                   against a simulated healthy unit
#   scripts/run.sh --preset NAME     against a simulated unit with a fault
#   scripts/run.sh --profile FILE    against a simulated unit with the readings
#                                    of a profile file (over the preset)
#   scripts/run.sh --real            against a real unit on the configured port
#
# The program reads and rewrites its settings file ZUL1x_comm.ini in the
# directory this script was called from. With the simulated unit, every port
# name (COM1 to COM7) leads to the simulator's line, so whatever port the
# settings file names, the program talks to the simulator.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
workdir=$PWD
args_given="$*"

usage() {
    echo "Usage:"
    sed -n '4,13s/^# \{0,1\}//p' "$0"
    echo
    if [[ -x $root/build/sim/tool/zul1x-sim ]]; then
        # The simulator's own list, and its profile file format.
        "$root/build/sim/tool/zul1x-sim" --help | sed -n '/^Presets:/,$p'
    else
        echo "Presets: healthy silent refused-erase lever-fault white-fail nonpaper-fail"
        echo "  mag-sweep slow-motor refused-write drop-off (more in zul1x-sim --help)"
    fi
}

preset=healthy
profile=""
real=0
while (($#)); do
    case "$1" in
    --preset)
        [[ $# -ge 2 ]] || { echo "run.sh: --preset needs a name" >&2; exit 2; }
        preset=$2
        shift 2
        ;;
    --profile)
        [[ $# -ge 2 ]] || { echo "run.sh: --profile needs a file" >&2; exit 2; }
        profile=$2
        [[ $profile == /* ]] || profile=$workdir/$profile
        [[ -r $profile ]] || { echo "run.sh: cannot read $2" >&2; exit 2; }
        shift 2
        ;;
    --real)
        real=1
        shift
        ;;
    -h | --help)
        usage
        exit 0
        ;;
    *)
        echo "run.sh: unknown option $1 (see scripts/run.sh --help)" >&2
        exit 2
        ;;
    esac
done
if ((real)) && [[ $preset != healthy || -n $profile ]]; then
    echo "run.sh: --real talks to the unit on the port; it takes no --preset or --profile" >&2
    exit 2
fi

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    cat >&2 <<EOF
run.sh: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run it on a virtual one, for example:

    xvfb-run -a -s "-screen 0 1024x768x24" scripts/run.sh${args_given:+ $args_given}

(the window is then invisible; use a VNC or a desktop session to see it).
EOF
    exit 1
fi

(cd "$root" && scripts/deps.sh && scripts/build.sh build)
program=$root/build/app/zul10
simulator=$root/build/sim/tool/zul1x-sim

if ((real)); then
    exec "$program"
fi

rundir=$(mktemp -d "${TMPDIR:-/tmp}/zul10-run.XXXXXX")
link=$rundir/ttyZUL
log=$rundir/zul1x-sim.log
sim_args=(--link "$link" --preset "$preset")
[[ -z $profile ]] || sim_args+=(--profile "$profile")

"$simulator" "${sim_args[@]}" >"$log" 2>&1 &
sim_pid=$!

cleanup() {
    trap - EXIT INT TERM
    if kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    # The simulator's summary: how many of each command the unit received.
    sed -n '/^zul1x-sim: [0-9.]* s,/,$p' "$log" 2>/dev/null || true
    rm -rf "$rundir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

for _ in $(seq 100); do
    [[ -e $link ]] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        cat "$log" >&2
        echo "run.sh: the simulator did not start" >&2
        exit 1
    fi
    sleep 0.05
done
[[ -e $link ]] || { echo "run.sh: the simulator's line $link did not appear" >&2; exit 1; }

echo "Simulated unit '$preset'${profile:+ + $profile} on $link (exchange log $log)."
echo "Settings file: $workdir/ZUL1x_comm.ini"

status=0
for n in 1 2 3 4 5 6 7; do export "ZUL10_COM$n=$link"; done
started=$SECONDS
"$program" || status=$?
if ((SECONDS - started < 2)); then
    echo "run.sh: zul10 ended within 2 s; if no window came up, another copy is running (one per machine)" >&2
fi
exit "$status"
