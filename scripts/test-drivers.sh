#!/usr/bin/env bash
# The line layer against the kernel's own serial drivers, without hardware or
# KVM. Boots the distribution's kernel (the package linux-image-amd64 depends
# on, fetched with apt-get download into ~/.cache/zul10/rig, never installed)
# under QEMU with a busybox initramfs that carries tests/rig as one static
# program. In the guest:
#   ttyS1    the 8250 driver on QEMU's 16550A,
#   ttyUSB0  ftdi_sio on QEMU's FTDI adapter behind an xHCI controller,
#   ttyS2    an 8250 node with no UART behind it;
# ttyS1 and ttyUSB0 each reach a simulated unit (zul1x-sim) on this machine
# through a socket and socat. The guest asks for the adapter to be unplugged
# and plugged back with "@@rig unplug [MS]@@" / "@@rig plug@@" on its
# console: the adapter's socket is closed, and QEMU detaches the device until
# it connects again. QEMU's trace of the line settings is checked here too.
#
# Ends with "real drivers: N passed, N failed" and fails when one did.
# ZUL_RIG_FILTER, a GoogleTest filter, picks cases (and leaves out the check
# of the line settings);
# ZUL_RIG_KEEP=1 keeps the work folder.
set -euo pipefail
cd "$(dirname "$0")/.."
rig_start=$EPOCHREALTIME
scripts/deps.sh

# The simulator, and the guest program linked statically (its symbols stay
# here, the guest gets it stripped), from the build the other suites use.
for target in zul1x-sim real_driver_test; do
    if ! out=$(ZUL_BUILD_TARGET=$target scripts/build.sh build 2>&1); then
        printf '%s\n' "$out"
        exit 1
    fi
done
sim=build/sim/tool/zul1x-sim
program=build/tests/rig/real_driver_test

# --- The kernel: vmlinux and the six USB modules, once per kernel version.
cache=${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/zul10/rig
mkdir -p "$cache"
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }'
}
package=$(kernel_package)
if [[ -z $package ]]; then
    apt-get update -qq
    package=$(kernel_package)
fi
[[ -n $package ]] || { echo "test-drivers: no kernel package for linux-image-amd64" >&2; exit 1; }
modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)
kernel_dir=$cache/$package
if [[ ! -f $kernel_dir/ready ]]; then
    rm -rf "$kernel_dir" "$cache"/*.deb
    (cd "$cache" && apt-get download -qq -o APT::Sandbox::User=root "$package")
    mkdir -p "$kernel_dir/tree" "$kernel_dir/modules"
    patterns=('./boot/vmlinuz-*')
    for m in "${modules[@]}"; do patterns+=("*/$m.ko*"); done
    dpkg-deb --fsys-tarfile "$cache/${package}"_*.deb |
        tar -x -C "$kernel_dir/tree" --wildcards "${patterns[@]}"
    # Plain .ko files in Debian 12, compressed with xz in later releases;
    # busybox insmod takes them plain.
    for m in "${modules[@]}"; do
        ko=$(find "$kernel_dir/tree/lib/modules" -name "$m.ko*" | head -n1)
        case $ko in
            *.ko) cp "$ko" "$kernel_dir/modules/$m.ko" ;;
            *.ko.xz) xz -dc "$ko" >"$kernel_dir/modules/$m.ko" ;;
            *) echo "test-drivers: $package has no module $m as .ko or .ko.xz" >&2; exit 1 ;;
        esac
    done
    bzimage=$(ls "$kernel_dir"/tree/boot/vmlinuz-*)
    cp "$bzimage" "$kernel_dir/vmlinuz"
    # Decompressing the kernel costs about 3 s under emulation: the bare ELF
    # image boots straight into the kernel (its PVH entry point) instead.
    offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$bzimage" | head -n1 | cut -d: -f1 || true)
    # xz complains about the bytes after the stream; the ELF header decides.
    if [[ -n $offset ]]; then
        tail -c +$((offset + 1)) "$bzimage" | xz -dcq >"$kernel_dir/vmlinux" 2>/dev/null || true
    fi
    if [[ -s $kernel_dir/vmlinux &&
        $(head -c4 "$kernel_dir/vmlinux" | od -An -tx1 | tr -d ' ') == 7f454c46 ]]; then
        rm "$kernel_dir/vmlinuz"
    else
        rm -f "$kernel_dir/vmlinux"
    fi
    rm -rf "$kernel_dir/tree" "$cache"/*.deb
    touch "$kernel_dir/ready"
fi
kernel=$kernel_dir/vmlinux
[[ -f $kernel ]] || kernel=$kernel_dir/vmlinuz

# --- The initramfs: busybox, the modules, the program, the init script.
initramfs=build/tests/rig/initramfs
rm -rf "$initramfs" "$initramfs.cpio"
mkdir -p "$initramfs"/{bin,dev,proc,sys,run,tmp,lib/modules}
cp /bin/busybox "$initramfs/bin/busybox"
cp "$kernel_dir"/modules/*.ko "$initramfs/lib/modules/"
strip -o "$initramfs/bin/real_driver_test" "$program"
install -m 755 tests/rig/init "$initramfs/init"
(cd "$initramfs" && find . | busybox cpio -o -H newc 2>/dev/null) >"$initramfs.cpio"

# --- The host side: two simulated units and their bridges.
work=$(mktemp -d /tmp/zul10-rig.XXXXXX)
pids=()
adapter_bridge=""
cleanup() {
    local pid
    for pid in "${pids[@]}" $adapter_bridge; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [[ ${ZUL_RIG_KEEP:-} == 1 ]]; then
        echo "test-drivers: kept $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

wait_for() {  # wait_for SECONDS COMMAND...
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < until)) || return 1
        sleep 0.05
    done
}
started() { grep -q '^zul1x-sim: unit' "$1"; }

for unit in uart adapter; do
    "$sim" --link "$work/$unit.line" >"$work/$unit-sim.log" 2>&1 &
    pids+=($!)
done
for unit in uart adapter; do
    wait_for 10 started "$work/$unit-sim.log" ||
        { echo "test-drivers: the $unit's simulator did not start" >&2; exit 1; }
done
# One connection each; QEMU connects as a client and exits if nobody listens.
bridge() {  # bridge UNIT
    socat "UNIX-LISTEN:$work/$1.sock,unlink-early" "FILE:$work/$1.line,raw,echo=0" \
        2>>"$work/$1-bridge.log" &
}
bridge uart
pids+=($!)
bridge adapter
adapter_bridge=$!
wait_for 10 test -S "$work/uart.sock"
wait_for 10 test -S "$work/adapter.sock"

# --- The guest.
# zul_rig=1 marks the guest: the test program runs only on such a kernel.
append="console=ttyS0 quiet panic=-1 zul_rig=1 RIG_TIMEOUT=150"
[[ -n ${ZUL_RIG_FILTER:-} ]] && append+=" GTEST_FILTER=$ZUL_RIG_FILTER"
qemu_start=$EPOCHREALTIME
timeout 240 qemu-system-x86_64 -machine pc -accel tcg -m 256 -smp 1 \
    -nodefaults -no-user-config -display none -no-reboot \
    -kernel "$kernel" -initrd "$initramfs.cpio" -append "$append" \
    -chardev "file,id=console,path=$work/console.log" -serial chardev:console \
    -chardev "socket,id=uart,path=$work/uart.sock" -serial chardev:uart \
    -device qemu-xhci \
    -chardev "socket,id=adapter,path=$work/adapter.sock,reconnect=1" \
    -device usb-serial,chardev=adapter \
    -D "$work/trace.log" -trace serial_update_parameters -trace 'usb_serial_set_*' \
    >"$work/qemu.log" 2>&1 &
qemu=$!
pids+=($qemu)

seconds_since() { printf '%.1f' "$(((${EPOCHREALTIME/./} - ${1/./}) / 1000))e-3"; }
exit_code=""
ready=""
if ! wait_for 10 test -f "$work/console.log"; then
    cat "$work/qemu.log"
    echo "real drivers: 0 passed, 1 failed"
    exit 1
fi
while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
        *'@@rig unplug'*)
            # "@@rig unplug MS@@": MS milliseconds from now, while the guest
            # goes on.
            delay=${line#*@@rig unplug}
            delay=${delay%%@@*}
            (sleep "$((${delay:-0}))e-3" && kill "$adapter_bridge" 2>/dev/null) &
            adapter_bridge=""
            echo "[host] unplugging the adapter${delay:+ in$delay ms}"
            ;;
        *'@@rig plug@@'*)
            bridge adapter
            adapter_bridge=$!
            echo "[host] adapter plugged in"
            ;;
        *'@@rig ready '*)
            ready=$(seconds_since "$qemu_start")
            uptime=${line#*@@rig ready }
            echo "[host] guest up with its devices after $ready s (kernel uptime ${uptime%%@@*} s)"
            ;;
        *'@@rig exit '*)
            exit_code=${line#*@@rig exit }
            exit_code=${exit_code%%@@*}
            ;;
        *) printf '%s\n' "$line" ;;
    esac
done < <(tail -n +1 -s 0.05 -F --pid="$qemu" "$work/console.log" 2>/dev/null)
wait "$qemu" || true

# --- The counts: each case of the guest, and the line settings as QEMU saw
# them on the two emulated devices.
passed=$(grep -c '^\[       OK \] ' "$work/console.log" || true)
# A case that skipped did not run where it has to: it counts as failed.
failed=$(grep -cE '^\[  (FAILED  |SKIPPED )\] .*\([0-9]+ ms\)' "$work/console.log" || true)
if [[ $exit_code != 0 && $failed == 0 ]]; then
    echo "[host] the guest program did not finish (exit ${exit_code:-none}); QEMU said:"
    tail -n 20 "$work/qemu.log"
    failed=$((failed + 1))
fi
check() {  # check NAME PATTERN...: QEMU's trace shows each pattern
    local name=$1 pattern
    shift
    for pattern in "$@"; do
        if ! grep -qE "$pattern" "$work/trace.log"; then
            echo "[host] FAILED: $name never set to 9600 8E1; QEMU's last settings:"
            tail -n 6 "$work/trace.log"
            failed=$((failed + 1))
            return
        fi
    done
    echo "[host] $name set to 9600 baud, 8 data bits, even parity, 1 stop bit"
    passed=$((passed + 1))
}
if [[ -z ${ZUL_RIG_FILTER:-} ]]; then
    check "16550A (ttyS1)" "^serial_update_parameters baudrate=9600 parity='E' data=8 stop=1$"
    check "FTDI (ttyUSB0)" "^usb_serial_set_baud dev [0-9:]+ baud rate 9600$" \
        "^usb_serial_set_data dev [0-9:]+ parity E, data bits 8, stop bits 1$"
fi
echo "[host] guest ready after ${ready:-?} s; whole rig $(seconds_since "$rig_start") s"
echo "real drivers: $passed passed, $failed failed"
((failed == 0))
