#!/usr/bin/env bash
# The setup program under Wine, as an administrator and an operator meet it:
# a silent install, what it leaves (the program folder, the Start-menu entry
# and its working folder, the entry among the installed programs), then a
# silent uninstall and that nothing of the program is left. Prints one line
# per check and "Installer (MODE): N passed, N failed".
#
#   scripts/test-installer.sh SETUP.exe [PREFIX]            # install, again elsewhere, uninstall
#   scripts/test-installer.sh install SETUP.exe [PREFIX]    # install and check only
#   scripts/test-installer.sh start-shortcut [PREFIX]
#   scripts/test-installer.sh uninstall [PREFIX]            # uninstall and check only
#
# start-shortcut starts the installed program through its Start-menu entry,
# as the shell does (wine64 start on the .lnk), and returns at once; the
# program runs in the user's working folder %LOCALAPPDATA%\ZUL10 and keeps
# its settings file there.
# PREFIX (default build-win/installer-prefix) is a Wine prefix made by
# scripts/wine-prefix.sh; when it is not there yet, it is made with every
# COM name pinned to a missing path. When the zip of the program folder lies
# beside the setup program, the installed files must equal its files.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/wine-prefix.sh

mode=all
case ${1:-} in
    install | uninstall | start-shortcut) mode=$1; shift ;;
esac
setup=""
if [[ $mode == install || $mode == all ]]; then
    setup=$(realpath "${1:?usage: scripts/test-installer.sh [install] SETUP.exe [PREFIX]}")
    shift
fi
prefix=$(realpath -m "${1:-build-win/installer-prefix}")
export WINEPREFIX=$prefix

product=ZUL10
menu_name="ZUL-1x Adjustment Program"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZUL10'
active_setup_key='HKLM\Software\Microsoft\Active Setup\Installed Components\ZUL10'
logs=$(dirname "$prefix")/installer-logs
mkdir -p "$logs"

CHECK_OUT=$logs/check.out
finish() {
    echo "Installer ($mode): $passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}

if [[ ! -f $prefix/.ports-pinned ]]; then
    wine_prefix_pin "$prefix" "$root/build-win/no-port" "$root/build-win/no-port" "$logs"
fi
wine_ports_pinned "$prefix"

# Wine's console ends lines in CR LF.
win() { "$WINE64" "$@" 2>>"$logs/wine.log" | tr -d '\r'; }
# The folders as the installing user sees them, as Unix paths.
mapfile -t folders < <(win cmd /d /c 'echo %LOCALAPPDATA%&echo %ProgramData%')
mapfile -t unix_folders < <(win winepath -u "${folders[@]}" | xargs -d '\n' realpath -m)
[[ ${#unix_folders[@]} -eq 2 ]] || { echo "test-installer: Wine gives no user folders: ${folders[*]}" >&2; exit 1; }
local_app_data=${unix_folders[0]} program_data=${unix_folders[1]}
shortcut="$program_data/Microsoft/Windows/Start Menu/Programs/$menu_name.lnk"
work_folder=$local_app_data/$product

# The values of a registry key as NAME<TAB>DATA lines, nothing when it is missing.
reg_values() {
    win reg query "$1" | sed -n 's/^    \([^ ].*\)    REG_[A-Z_]*    \(.*\)$/\1\t\2/p'
}
reg_value() { reg_values "$1" | awk -F '\t' -v n="$2" '$1 == n { print $2 }'; }

unix_path() { realpath -m "$(win winepath -u "$1")"; }
installed_dir() { # the install folder from the registry, as a Unix path
    local location
    location=$(reg_value "$key" InstallLocation)
    [[ -n $location ]] && unix_path "$location"
}

check_files() { # INSTDIR: the installed program equals the zip beside the setup program
    local dir=$1 zip=${setup%-setup.exe}-win64.zip
    [[ -f $dir/zul10.exe && -f $dir/platforms/qwindows.dll && -f $dir/uninstall.exe ]] ||
        { echo "missing: $(ls -R "$dir")"; return 1; }
    [[ -f $zip ]] || return 0
    local unpacked=$logs/unpacked
    rm -rf "$unpacked"
    mkdir -p "$unpacked"
    unzip -q "$zip" -d "$unpacked"
    diff -r -x uninstall.exe "$unpacked"/*/ "$dir/"
}

check_imports() { # INSTDIR: every DLL a program file imports is installed or is Windows' own
    local dir=$1 system32=$prefix/drive_c/windows/system32 missing=0 pe dll
    while IFS= read -r -d '' pe; do
        while IFS= read -r dll; do
            # API sets (api-ms-win-*, ext-ms-*) are names the Windows loader
            # resolves itself; Wine keeps only some of them as files.
            [[ ${dll,,} == api-ms-win-* || ${dll,,} == ext-ms-* ]] && continue
            if [[ -z $(find "$dir" "$system32" -maxdepth 1 -iname "$dll" -print -quit) ]]; then
                echo "${pe#"$dir"/} needs $dll"
                missing=1
            fi
        done < <(x86_64-w64-mingw32-objdump -p "$pe" | sed -n 's/^\tDLL Name: //p')
    done < <(find "$dir" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    return $missing
}

check_shortcut() { # the entry starts the installed program in the user's working folder
    local dir=$1 text
    [[ -f $shortcut ]] || { echo "no $shortcut"; return 1; }
    # The shell link's strings (MS-SHLLINK: the working folder and the
    # description are UTF-16 when the link says so, as here).
    text=$(strings -el "$shortcut")
    grep -qxF "%LOCALAPPDATA%\\$product" <<<"$text" || { echo "working folder: $text"; return 1; }
    grep -qxF "$menu_name" <<<"$text" || { echo "description: $text"; return 1; }
    local target
    target=$(reg_value "$key" InstallLocation)\\zul10.exe
    strings -a "$shortcut" | grep -qiF "$target" || strings -el "$shortcut" | grep -qiF "$target" ||
        { echo "target is not $target: $(strings -a "$shortcut")"; return 1; }
    [[ -d $work_folder ]] || { echo "no working folder $work_folder"; return 1; }
}

check_registry() { # the entry among the installed programs
    local values dir=$1 location
    values=$(reg_values "$key")
    location=$(reg_value "$key" InstallLocation)
    local want=(
        "DisplayName	$menu_name ($product)"
        "InstallLocation	$location"
        "UninstallString	\"$location\\uninstall.exe\""
        "QuietUninstallString	\"$location\\uninstall.exe\" /S"
        "NoModify	0x1"
        "NoRepair	0x1"
    )
    local line
    for line in "${want[@]}"; do
        grep -qxF "$line" <<<"$values" || { echo "no '$line' in: $values"; return 1; }
    done
    grep -q $'^DisplayVersion\t[0-9]\+\.[0-9]\+-[0-9]\+$' <<<"$values" || { echo "DisplayVersion: $values"; return 1; }
    ! grep -q $'^Publisher\t' <<<"$values" || { echo "a Publisher: $values"; return 1; }
    # EstimatedSize is in KiB, within a tenth of the installed files.
    local listed actual
    listed=$(($(reg_value "$key" EstimatedSize)))
    actual=$(find "$dir" -type f ! -name uninstall.exe -printf '%s\n' | awk '{ s += $1 } END { printf "%d", s / 1024 }')
    ((listed * 10 >= actual * 9 && listed * 10 <= actual * 11)) ||
        { echo "EstimatedSize $listed KiB, the files $actual KiB"; return 1; }
}

check_logon_command() { # the per-user logon command makes a missing working folder
    local stub
    stub=$(reg_value "$active_setup_key" StubPath)
    [[ -n $stub ]] || { echo "no StubPath under $active_setup_key"; return 1; }
    # The folder is moved aside for the check (it may hold a settings file
    # of an earlier run) and put back after it.
    local aside=$work_folder.aside
    rm -rf "$aside"
    mv "$work_folder" "$aside" || return 1
    printf '%s\r\n' "@$stub" >"$logs/logon.cmd"
    win cmd /d /c "$(win winepath -w "$logs/logon.cmd")"
    local made=0
    [[ -d $work_folder ]] && made=1
    rm -rf "$work_folder"
    mv "$aside" "$work_folder"
    ((made)) || { echo "the logon command made no $work_folder"; return 1; }
    # It does nothing when the folder is there.
    win cmd /d /c "$(win winepath -w "$logs/logon.cmd")"
    [[ -d $work_folder ]]
}

do_install() {
    local status=0
    timeout 300 "$WINE64" "$setup" /S >>"$logs/wine.log" 2>&1 || status=$?
    check "silent install ends with 0" test "$status" -eq 0
    local dir
    dir=$(installed_dir) || true
    if [[ -z $dir || ! -d $dir ]]; then
        check "installed program folder" false
        return
    fi
    check "installed into Program Files" test "$dir" = "$prefix/drive_c/Program Files/$product"
    check "installed files equal the program folder" check_files "$dir"
    check "every imported DLL is installed or Windows' own" check_imports "$dir"
    check "uninstall entry among the installed programs" check_registry "$dir"
    check "Start-menu entry in the user's working folder" check_shortcut "$dir"
    check "logon command makes each user's working folder" check_logon_command
}

do_reinstall() { # installing again, into another folder, moves the program
    local old new status=0
    old=$(installed_dir) || true
    timeout 300 "$WINE64" "$setup" /S '/D=C:\ZUL10-moved' >>"$logs/wine.log" 2>&1 || status=$?
    check "installing again ends with 0" test "$status" -eq 0
    new=$(installed_dir) || true
    check "installing again goes where asked" test "$new" = "$prefix/drive_c/ZUL10-moved"
    check "installing again leaves nothing in the old folder" test ! -e "$old"
    check "installing again installs every file" check_files "$new"
}

start_shortcut() {
    [[ -f $shortcut ]] || { echo "test-installer: no $shortcut" >&2; return 1; }
    # With the working folder missing, Wine's shell starts the program in
    # the caller's folder instead.
    [[ -d $work_folder ]] || { echo "test-installer: no working folder $work_folder" >&2; return 1; }
    "$WINE64" start "$(win winepath -w "$shortcut")" >>"$logs/wine.log" 2>&1
}

do_uninstall() {
    local dir quiet exe args status=0
    dir=$(installed_dir) || true
    quiet=$(reg_value "$key" QuietUninstallString)
    if [[ -z $dir || ! $quiet =~ ^\"([^\"]+)\"(.*)$ ]]; then
        check "an installed copy to remove" false
        return
    fi
    exe=${BASH_REMATCH[1]} args=${BASH_REMATCH[2]}
    # The uninstaller hands over to a copy of itself in the user's temporary
    # folder and ends; the copy does the work, and marks itself for deletion
    # when Windows next starts.
    read -ra args <<<"$args"
    timeout 120 "$WINE64" "$exe" "${args[@]}" >>"$logs/wine.log" 2>&1 || status=$?
    check "silent uninstall ends with 0" test "$status" -eq 0
    # Its last step takes the entry away.
    local waited=0
    while [[ -n $(reg_values "$key") ]] && ((waited < 120)); do
        sleep 1
        waited=$((waited + 1))
    done
    check "program folder removed" test ! -e "$dir"
    check "Start-menu entry removed" test ! -e "$shortcut"
    check "uninstall entry removed" test -z "$(reg_values "$key")"
    check "logon command removed" test -z "$(reg_values "$active_setup_key")"
    check "nothing of the program in Program Files" \
        test -z "$(find "$prefix/drive_c/Program Files" -iname '*zul10*' -print -quit)"
    check "the user's working folder stays" test -d "$work_folder"
}

case $mode in
    install) do_install ;;
    uninstall) do_uninstall ;;
    start-shortcut) start_shortcut; exit ;;
    all)
        do_install
        do_reinstall
        do_uninstall
        ;;
esac
check "Wine's COM names still pinned" wine_ports_pinned "$prefix"
finish
