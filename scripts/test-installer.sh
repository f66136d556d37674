#!/usr/bin/env bash
# The setup program under Wine, as an administrator and an operator meet it:
# a silent install, what it leaves (the program folder, the Start-menu entry,
# the entry among the installed programs), installing again over a running
# copy and after it closed, a standard user's account, then a silent
# uninstall and that nothing of the program is left. Prints one line per
# check and "Installer (MODE): N passed, N failed".
#
#   scripts/test-installer.sh SETUP.exe [PREFIX]            # install, again elsewhere, uninstall
#   scripts/test-installer.sh install SETUP.exe [PREFIX]    # install and check only
#   scripts/test-installer.sh while-running SETUP.exe [PREFIX]
#   scripts/test-installer.sh upgrade SETUP.exe [PREFIX]
#   scripts/test-installer.sh start-shortcut [PREFIX]
#   scripts/test-installer.sh uninstall [PREFIX]            # uninstall and check only
#
# while-running expects a copy of the installed program to run: installing
# the same version again silently, and the silent uninstall, must fail with
# exit code 3 and leave every installed file (its checksum and time) and the
# uninstall entry as they were. upgrade, with the copy closed, installs the
# same version again: every file is replaced (their times marked old before),
# and a variant of the setup program that takes the account for a standard
# user's must refuse with exit code 4, changing nothing.
# start-shortcut starts the installed program through its Start-menu entry,
# as the shell does (wine64 start on the .lnk), and returns at once; the
# entry's launcher makes the user's working folder %LOCALAPPDATA%\ZUL10 when
# it is missing and starts the program there, which keeps its settings file
# in it.
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
    install | while-running | upgrade | uninstall | start-shortcut) mode=$1; shift ;;
esac
setup=""
if [[ $mode == install || $mode == while-running || $mode == upgrade || $mode == all ]]; then
    setup=$(realpath "${1:?usage: scripts/test-installer.sh [install] SETUP.exe [PREFIX]}")
    shift
fi
prefix=$(realpath -m "${1:-build-win/installer-prefix}")
export WINEPREFIX=$prefix

product=ZUL10
menu_name="ZUL-1x Adjustment Program"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZUL10'
publisher=$(sed -n 's/^set(CPACK_PACKAGE_VENDOR "\(.*\)")$/\1/p' packaging/CMakeLists.txt)
active_setup_key='HKLM\Software\Microsoft\Active Setup\Installed Components\ZUL10'
logs=$(dirname "$prefix")/installer-logs
mkdir -p "$logs"

CHECK_OUT=$logs/check.out
finish() {
    echo "Installer ($mode): $passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}

# (A prefix made before keeps its pins; it gets the fonts when it lacks them.)
wine_prefix_pin "$prefix" "$root/build-win/no-port" "$root/build-win/no-port" "$logs"
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

check_shortcut() { # the entry runs the launcher, with the program's icon
    local dir=$1 text location
    [[ -f $shortcut ]] || { echo "no $shortcut"; return 1; }
    # The shell link's strings (MS-SHLLINK: the working folder, the
    # description and the icon's file are UTF-16 when the link says so, as
    # here, each after its length in characters, which strings may take for
    # one more; the target's local path is in the code page).
    text=$(strings -el "$shortcut")
    location=$(reg_value "$key" InstallLocation)
    link_string() { # (through the environment: awk -v would take backslashes for escapes)
        S=$1 awk '$0 == ENVIRON["S"] || substr($0, 2) == ENVIRON["S"] { found = 1 } END { exit !found }' <<<"$text"
    }
    link_string "$location" || { echo "working folder: $text"; return 1; }
    link_string "$menu_name" || { echo "description: $text"; return 1; }
    link_string "$location\\zul10.exe" || { echo "icon: $text"; return 1; }
    local target=$location\\zul10-start.exe
    strings -a "$shortcut" | grep -qiF "$target" || strings -el "$shortcut" | grep -qiF "$target" ||
        { echo "target is not $target: $(strings -a "$shortcut")"; return 1; }
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
    # The version as the project numbers it, the maker as the Debian
    # package names it, and the README installed beside the program.
    local version
    version=$(sed -n 's/^project(zul10 VERSION \([0-9]*\)\.\([0-9]*\)\.\([0-9]*\) .*/\1.\2-\3/p' CMakeLists.txt)
    local fields=("DisplayVersion	$version" "Publisher	$publisher" "URLInfoAbout	$location\\README.txt")
    for line in "${fields[@]}"; do
        grep -qxF "$line" <<<"$values" || { echo "no '$line' in: $values"; return 1; }
    done
    [[ -n $publisher && -s $dir/README.txt ]] || { echo "no publisher ($publisher) or README.txt in $dir"; return 1; }
    # EstimatedSize is in KiB, within a tenth of the installed files.
    local listed actual
    listed=$(($(reg_value "$key" EstimatedSize)))
    actual=$(find "$dir" -type f ! -name uninstall.exe -printf '%s\n' | awk '{ s += $1 } END { printf "%d", s / 1024 }')
    ((listed * 10 >= actual * 9 && listed * 10 <= actual * 11)) ||
        { echo "EstimatedSize $listed KiB, the files $actual KiB"; return 1; }
}

# The installed files (each with its checksum and time) and the uninstall
# entry, as lines to compare.
installed_state() {
    local dir=$1
    [[ -d $dir ]] || { echo "no $dir"; return; }
    (cd "$dir" && find . -type f -printf '%T@ ' -exec sha256sum {} \; | LC_ALL=C sort -k3)
    reg_values "$key"
    sha256sum "$shortcut" 2>&1
}

# Runs the installed uninstaller in place (_?=, as the setup program runs the
# installed copy's), which works and ends within the call, unlike its
# hand-over to a copy in %TEMP%; its exit code. Through a batch file: Wine
# would quote the argument "_?=C:\Program Files\..." the uninstaller must
# find unquoted.
uninstall_in_place() {
    local location status=0
    location=$(reg_value "$key" InstallLocation)
    printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%ERRORLEVEL%%\r\n' "$location" "$location" \
        >"$logs/uninstall-in-place.cmd"
    timeout 120 "$WINE64" cmd /d /c "$(win winepath -w "$logs/uninstall-in-place.cmd")" \
        >>"$logs/wine.log" 2>&1 || status=$?
    return $status
}

exits_with() { # CODE COMMAND...: COMMAND ends with exit code CODE
    local want=$1 status=0
    shift
    "$@" || status=$?
    [[ $status -eq $want ]] || { echo "exit code $status, not $want"; return 1; }
}

unchanged() { # DIR BEFORE_FILE: the installed state is as written in BEFORE_FILE
    diff "$2" <(installed_state "$1")
}

# The setup program with the account check's answer fixed ("User": how
# UserInfo::GetAccountType names a standard user's account), installing
# nothing else: Wine gives every program an administrator's token.
standard_user_setup() {
    local variant=$logs/standard-user-setup.exe list=$logs/empty-files.nsh
    printf '!macro InstallProgramFiles\n!macroend\n!macro RemoveProgramFiles\n!macroend\n' >"$list"
    makensis -V2 -NOCD -DVERSION=0.0-0 -DVERSION_NUMBERS=0.0.0.0 -DPROGRAM_DIR="$logs" \
        -DFILE_LIST="$list" -DSIZE_KB=0 -DOUTFILE="$variant" -DPUBLISHER="$publisher" \
        -DTEST_ACCOUNT_TYPE=User packaging/windows/zul10.nsi >"$logs/makensis-variant.log" 2>&1 ||
        { cat "$logs/makensis-variant.log" >&2; return 1; }
    echo "$variant"
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
    check "Start-menu entry runs the launcher" check_shortcut "$dir"
    check "no logon command (the launcher makes the working folders)" \
        test -z "$(reg_values "$active_setup_key")"
}

do_while_running() { # a copy runs: installing again and removing change nothing
    local dir before=$logs/state-before.txt
    dir=$(installed_dir) || true
    [[ -n $dir && -d $dir ]] || { check "an installed copy" false; return; }
    # The files' times are marked old, so that any file replaced shows.
    find "$dir" -type f -exec touch -d '2001-01-01 00:00:00' {} +
    installed_state "$dir" >"$before"
    check "a silent install over a running copy ends with 3" \
        exits_with 3 timeout 300 "$WINE64" "$setup" /S
    check "... and changes no file and not the uninstall entry" unchanged "$dir" "$before"
    check "a silent uninstall (in place) while it runs ends with 3" exits_with 3 uninstall_in_place
    check "... and changes nothing" unchanged "$dir" "$before"
    # The hand-over to the copy in %TEMP% ends with 0 whatever the copy does
    # (NSIS); the copy refuses as well.
    quiet_uninstall || true
    check "the uninstall command while it runs changes nothing" unchanged "$dir" "$before"
}

do_upgrade() { # the copy closed: installing again replaces every file; a standard user is refused
    local dir before=$logs/state-before.txt variant
    dir=$(installed_dir) || true
    [[ -n $dir && -d $dir ]] || { check "an installed copy" false; return; }
    find "$dir" -type f -exec touch -d '2001-01-01 00:00:00' {} +
    installed_state "$dir" >"$before"
    if variant=$(standard_user_setup); then
        check "a standard user's silent install ends with 4" \
            exits_with 4 timeout 300 "$WINE64" "$variant" /S
        check "... and changes nothing" unchanged "$dir" "$before"
    else
        check "the standard user's setup program builds" false
    fi
    check "a silent install with the copy closed ends with 0" exits_with 0 timeout 300 "$WINE64" "$setup" /S
    check "... into the same folder" test "$(installed_dir)" = "$dir"
    check "... with every file of the new copy" check_files "$dir"
    check "... and none of the old left" \
        test -z "$(find "$dir" -type f ! -newermt '2001-01-02' -printf '%P\n')"
    check "... and its uninstall entry" check_registry "$dir"
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
    "$WINE64" start "$(win winepath -w "$shortcut")" >>"$logs/wine.log" 2>&1
}

# Runs the uninstall entry's quiet command; its exit code. The uninstaller
# hands over to a copy of itself in the user's temporary folder and ends;
# the copy does the work (or refuses it), and marks itself for deletion when
# Windows next starts. Returns once the copy has ended too.
quiet_uninstall() {
    local quiet exe args status=0
    quiet=$(reg_value "$key" QuietUninstallString)
    [[ $quiet =~ ^\"([^\"]+)\"(.*)$ ]] || { echo "no quiet uninstall command: $quiet"; return 99; }
    exe=${BASH_REMATCH[1]} args=${BASH_REMATCH[2]}
    read -ra args <<<"$args"
    timeout 120 "$WINE64" "$exe" "${args[@]}" >>"$logs/wine.log" 2>&1 || status=$?
    # The copy is named [A-Z]u_.exe (NSIS); Wine's processes show their
    # Windows path in the command line.
    local waited=0
    while pgrep -f '~nsu[A-Z]*\.tmp\\[A-Z]u_\.exe' >/dev/null && ((waited < 600)); do
        sleep 0.2
        waited=$((waited + 1))
    done
    return $status
}

do_uninstall() {
    local dir status=0
    dir=$(installed_dir) || true
    if [[ -z $dir ]]; then
        check "an installed copy to remove" false
        return
    fi
    # The users' folders (here the installing user's) and what the program
    # wrote there stay.
    mkdir -p "$work_folder"
    local kept
    kept=$(find "$work_folder" | LC_ALL=C sort)
    quiet_uninstall || status=$?
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
    check "the user's working folder stays as it was" \
        test "$(find "$work_folder" | LC_ALL=C sort)" = "$kept"
}

case $mode in
    install) do_install ;;
    while-running) do_while_running ;;
    upgrade) do_upgrade ;;
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
