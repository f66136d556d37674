# shellcheck shell=bash
# Sourced by the Windows scripts: a private 64-bit Wine prefix whose COM
# names lead only where they were pinned, and whose fonts stand in for the
# ones every Windows PC has.
#
#   source scripts/wine-prefix.sh
#   wine_prefix_pin PREFIX COM1_PATH NO_PORT_PATH LOG_DIR
#   wine_ports_pinned PREFIX       # fails, saying why, when a COM name strays
#   wine_fonts_replaced PREFIX     # fails, saying why, when a replacement is missing
#
# Wine gives every /dev/ttyS*, ttyUSB* and ttyACM* of this machine a COM
# name of its own when its services first start. So before Wine ever runs in
# the prefix, every name is pinned: COM1 to COM1_PATH (the simulator's link,
# or a missing path), COM2 to COM255 to NO_PORT_PATH, a path that does not
# exist (HKLM\Software\Wine\Ports, written into the prefix's registry file).
# Wine takes no pin for COM256, its last name, and would give it the first
# device it finds; a folder in its place makes that link fail.

WINE64=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts

# The paths the prefix's registry pins COM names to.
wine_ports_allowed() {
    awk '/^\[/ { in_ports = ($0 ~ /^\[Software\\\\Wine\\\\Ports\]/) }
         in_ports && /^"COM[0-9]+"="/ { sub(/^"COM[0-9]+"="/, ""); sub(/"$/, ""); print }' \
        "$1/system.reg" | sort -u
}

# Prints each COM name of PREFIX that leads anywhere but a pinned path (the
# paths listed in PINNED_LIST, else those in the prefix's registry file), and
# each that leads into /dev in any case.
wine_ports_stray() {
    local prefix=$1 dev=$1/dosdevices pinned
    [[ -d $dev ]] || return 0
    if [[ -n ${2:-} ]]; then pinned=$(cat "$2"); else pinned=$(wine_ports_allowed "$prefix"); fi
    [[ -n $pinned ]] || { echo "no COM names pinned"; return 0; }
    find "$dev" -maxdepth 1 -name 'com*' -type l -printf '%l\t%f\n' 2>/dev/null |
        awk -F '\t' -v pinned="$pinned" '
            BEGIN { n = split(pinned, list, "\n"); for (i = 1; i <= n; i++) ok[list[i]] = 1 }
            !($1 in ok) || $1 ~ /^\/dev\// { print $2 " -> " $1 }'
    [[ ! -e $dev/com256 || -d $dev/com256 ]] || echo "com256 is not the blocking folder"
}

wine_ports_pinned() {
    local stray
    stray=$(wine_ports_stray "$1")
    [[ -z $stray ]] || { echo "Wine's COM names in $1 reach devices: $stray" >&2; return 1; }
}

# Windows' own Arial and Courier New, which Wine lacks, by their metric
# twins from Debian's fonts-liberation (the same advance widths): without
# them Qt falls back to another face and the program's labels, laid out for
# Arial, are cut. Wine takes font replacements from
# HKCU\Software\Wine\Fonts\Replacements, a value per face named by the
# face replaced, its data the face shown (Wine's own loader/wine.inf.in
# writes one, "Palatino Linotype" to "Times New Roman"). Qt asks for
# "Courier New" where a window names "Courier" (its Windows font database).
WINE_FONT_REPLACEMENTS=("Arial=Liberation Sans" "Courier New=Liberation Mono")
# Text smoothed as Windows smooths it by default (ClearType, RGB stripes,
# contrast 1400: HKCU\Control Panel\Desktop, SystemParametersInfo's
# SPI_GETFONTSMOOTHING, ...TYPE, ...ORIENTATION and ...CONTRAST), where
# Wine's default draws it unsmoothed and Liberation Mono's small "m" breaks.
WINE_FONT_SMOOTHING=("FontSmoothing REG_SZ 2" "FontSmoothingType REG_DWORD 2"
    "FontSmoothingOrientation REG_DWORD 1" "FontSmoothingGamma REG_DWORD 1400")

# Prints each replacement and smoothing value that PREFIX's registry lacks,
# as Wine's reg.exe reads them (NAME=DATA).
wine_fonts_missing() {
    local listed pair setting name type data
    listed=$(WINEPREFIX=$1 "$WINE64" reg query 'HKCU\Software\Wine\Fonts\Replacements' 2>/dev/null |
        tr -d '\r' | sed -n 's/^    \(.*\)    REG_SZ    \(.*\)$/\1=\2/p')
    for pair in "${WINE_FONT_REPLACEMENTS[@]}"; do
        grep -qxF "$pair" <<<"$listed" || echo "$pair"
    done
    listed=$(WINEPREFIX=$1 "$WINE64" reg query 'HKCU\Control Panel\Desktop' 2>/dev/null | tr -d '\r')
    for setting in "${WINE_FONT_SMOOTHING[@]}"; do
        read -r name type data <<<"$setting"
        [[ $type == REG_DWORD ]] && data=$(printf '0x%x' "$data")
        grep -qxF "    $name    $type    $data" <<<"$listed" || echo "$name=$data"
    done
}

wine_fonts_replaced() {
    local missing
    missing=$(wine_fonts_missing "$1")
    [[ -z $missing ]] || { echo "not in the registry of $1:" $missing >&2; return 1; }
}

# Writes the replacements and the smoothing into PREFIX, once: .fonts-replaced
# holds what was written, and a prefix written with other settings gets
# these.
wine_fonts_replace() {
    local prefix=$1 pair setting name type data settings
    settings=$(printf '%s\n' "${WINE_FONT_REPLACEMENTS[@]}" "${WINE_FONT_SMOOTHING[@]}")
    [[ $(cat "$prefix/.fonts-replaced" 2>/dev/null) == "$settings" ]] && return 0
    for pair in "${WINE_FONT_REPLACEMENTS[@]}"; do
        WINEPREFIX=$prefix "$WINE64" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
            /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1 || return 1
    done
    for setting in "${WINE_FONT_SMOOTHING[@]}"; do
        read -r name type data <<<"$setting"
        WINEPREFIX=$prefix "$WINE64" reg add 'HKCU\Control Panel\Desktop' \
            /v "$name" /t "$type" /d "$data" /f >/dev/null 2>&1 || return 1
    done
    wine_fonts_replaced "$prefix" && echo "$settings" >"$prefix/.fonts-replaced"
}

# Makes PREFIX with its COM names pinned and its fonts replaced, unless it
# was made so before; the links are watched all through Wine's first start.
# A prefix pinned by an earlier version of this file gets the fonts now.
wine_prefix_pin() {
    local prefix=$1 com1=$2 no_port=$3 logs=$4
    [[ -f $prefix/.ports-pinned ]] && { wine_fonts_replace "$prefix"; return; }
    WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$prefix"
    mkdir -p "$logs"
    # What Wine makes in a new prefix, made here first so that com256 can be
    # taken (Wine makes these only when it creates dosdevices itself).
    mkdir -p "$prefix/drive_c" "$prefix/dosdevices/com256"
    ln -s ../drive_c "$prefix/dosdevices/c:"
    ln -s / "$prefix/dosdevices/z:"
    {
        printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n'
        printf '[Software\\\\Wine\\\\Ports] %s\n' "$(date +%s)"
        printf '"COM1"="%s"\n' "$com1"
        for n in $(seq 2 255); do printf '"COM%s"="%s"\n' "$n" "$no_port"; done
    } >"$prefix/system.reg"
    # The registry file is rewritten while Wine starts, so the watch below
    # compares with the pins as written here.
    local pinned=$logs/pinned-ports.txt
    wine_ports_allowed "$prefix" >"$pinned"
    grep -qxF "$com1" "$pinned" && grep -qxF "$no_port" "$pinned" || { echo "the pins of $prefix do not read back" >&2; return 1; }
    local stray_log=$logs/wineboot-stray-ports.log watcher boot_status=0
    : >"$stray_log"
    (while :; do wine_ports_stray "$prefix" "$pinned" >>"$stray_log"; sleep 0.02; done) &
    watcher=$!
    WINEPREFIX=$prefix "$WINE64" wineboot -i >"$logs/wineboot.log" 2>&1 || boot_status=$?
    WINEPREFIX=$prefix "$WINESERVER" -w
    kill "$watcher" && wait "$watcher" 2>/dev/null || true
    if [[ -s $stray_log ]]; then
        echo "during wineboot: $(sort -u "$stray_log" | tr '\n' ' ')" >&2
        return 1
    fi
    [[ $boot_status -eq 0 ]] || { echo "wineboot failed, see $logs/wineboot.log" >&2; return 1; }
    wine_ports_pinned "$prefix" || return 1
    wine_fonts_replace "$prefix" || { echo "the fonts of $prefix are not replaced" >&2; return 1; }
    touch "$prefix/.ports-pinned"
}

# check NAME COMMAND...: runs COMMAND and prints one line for it, "ok" or
# "FAILED" with what it said (into CHECK_OUT, a file of the caller's);
# counts into passed and failed.
passed=0 failed=0
check() {
    local name=$1
    shift
    if "$@" >"$CHECK_OUT" 2>&1; then
        passed=$((passed + 1))
        echo "ok     $name"
    else
        failed=$((failed + 1))
        echo "FAILED $name: $(tr '\n' ' ' <"$CHECK_OUT" | cut -c1-400)"
    fi
}
