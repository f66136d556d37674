#!/usr/bin/env bash
# Builds the Windows deliverables into dist/ from a program folder as the
# program runs from it (zul10.exe, the yield report zul10-records.exe, the Qt
# DLLs, platforms/, styles/, the compiler's runtime DLLs): the setup program
# zul10-<version>-setup.exe (packaging/windows/zul10.nsi, with makensis) and a
# zip of the folder, zul10-<version>-win64.zip. Prints their paths.
#
#   scripts/package-windows.sh [PROGRAM_DIR]    # default build-win/zul10-win64
#
# Called by scripts/package.sh when the cross build has left the folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
program_dir=$(realpath "${1:-build-win/zul10-win64}")
dist=$root/dist

fail() {
    echo "package-windows: $*" >&2
    exit 1
}

scripts/deps.sh
[[ -f $program_dir/zul10.exe ]] || fail "no zul10.exe in $program_dir"

# MAJOR.MINOR.REVISION of the project numbers the files MAJOR.MINOR-REVISION,
# as the Debian package; Windows' version resource wants four numbers.
project_version=$(sed -n 's/^project(zul10 VERSION \([0-9]*\.[0-9]*\.[0-9]*\) .*/\1/p' CMakeLists.txt)
[[ -n $project_version ]] || fail "no project version in CMakeLists.txt"
IFS=. read -r major minor revision <<<"$project_version"
version=$major.$minor-$revision
version_numbers=$((10#$major)).$((10#$minor)).$((10#$revision)).0
# Nothing of an earlier call stays to be taken for this one's.
mkdir -p "$dist"
rm -f "$dist"/zul10-*-setup.exe "$dist"/zul10-*-win64.zip

# The folder is packed from a copy with the symbols stripped: Debian's
# runtime DLLs carry theirs (libstdc++-6.dll 23 MB, 2 MB without).
work=$root/build-win/setup
stage=$work/zul10-$version-win64
rm -rf "$work"
mkdir -p "$work"
cp -a "$program_dir/." "$stage"
program_dir=$stage
# The README beside the program: the entry among the installed programs
# names it as the program's page (Markdown, plain text to read).
cp README.md "$program_dir/README.txt"
while IFS= read -r -d '' pe; do
    x86_64-w64-mingw32-strip --strip-unneeded "$pe"
done < <(find "$program_dir" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)

# Every program and library is 64-bit; the program and its Start-menu
# launcher have no console window, the yield report is a command-line tool.
for exe in zul10-records.exe zul10-start.exe; do
    [[ -f $program_dir/$exe ]] || fail "no $exe in $program_dir"
done
while IFS= read -r -d '' pe; do
    kind=$(file -b "$pe")
    case $pe in
        */zul10-records.exe) pattern='^PE32\+ executable \(console\) x86-64' ;;
        *.exe) pattern='^PE32\+ executable \(GUI\) x86-64' ;;
        *) pattern='^PE32\+ executable \(DLL\) .*x86-64' ;;
    esac
    [[ $kind =~ $pattern ]] || fail "${pe#"$program_dir"/}: $kind"
done < <(find "$program_dir" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)

# The file list the setup program installs from and its uninstaller removes.
# Names go into NSIS strings as they are, so only plain ones are taken.
bad=$(cd "$program_dir" && find . -mindepth 1 | grep -v '^[./A-Za-z0-9_+-]*$' || true)
[[ -z $bad ]] || fail "names the setup program does not take: $bad"
[[ ! -e $program_dir/uninstall.exe ]] || fail "the program folder holds an uninstall.exe"
list=$work/files.nsh
nsis_path() { printf '%s' "${1//\$/\$\$}"; }
{
    echo '!macro InstallProgramFiles'
    while IFS= read -r dir; do
        sub=${dir#.}
        printf '    SetOutPath "$INSTDIR%s"\n' "${sub//\//\\}"
        while IFS= read -r name; do
            printf '    File "%s"\n' "$(nsis_path "$program_dir${dir#.}/$name")"
        done < <(cd "$program_dir" && find "$dir" -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort)
    done < <(cd "$program_dir" && find . -type d | LC_ALL=C sort)
    echo '!macroend'
    echo '!macro RemoveProgramFiles'
    (cd "$program_dir" && find . -type f | LC_ALL=C sort) | while IFS= read -r f; do
        f=${f#./}
        printf '    Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
    done
    # Deepest folders first; each goes only when empty.
    (cd "$program_dir" && find . -mindepth 1 -type d | LC_ALL=C sort -r) | while IFS= read -r d; do
        d=${d#./}
        printf '    RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"
    done
    echo '!macroend'
} >"$list"
# The size Windows lists for the installed program, in KiB.
size_kb=$(find "$program_dir" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%d", (s + 1023) / 1024 }')

# The maker, as the Debian package names it.
publisher=$(sed -n 's/^set(CPACK_PACKAGE_VENDOR "\(.*\)")$/\1/p' packaging/CMakeLists.txt)
[[ -n $publisher ]] || fail "no CPACK_PACKAGE_VENDOR in packaging/CMakeLists.txt"

setup=$dist/zul10-$version-setup.exe
zip=$dist/zul10-$version-win64.zip
# The program's icon for the setup program and the uninstaller, when given.
icon=()
[[ -n ${ZUL_SETUP_ICON:-} ]] && icon=(-DICON="$(realpath "$ZUL_SETUP_ICON")")
makensis -V2 -NOCD -DVERSION="$version" -DVERSION_NUMBERS="$version_numbers" \
    -DPROGRAM_DIR="$program_dir" -DFILE_LIST="$list" -DSIZE_KB="$size_kb" \
    -DOUTFILE="$setup" -DPUBLISHER="$publisher" "${icon[@]}" packaging/windows/zul10.nsi >"$work/makensis.log" 2>&1 || {
    cat "$work/makensis.log" >&2
    fail "makensis failed"
}
file -b "$setup" | grep -q '^PE32+ executable (GUI) x86-64' || fail "setup program: $(file -b "$setup")"

# The zip unpacks into a folder zul10-<version>-win64\ holding the program.
(cd "$work" && find "${stage##*/}" | LC_ALL=C sort | TZ=UTC zip -qX9 "$zip" -@)
ls "$setup" "$zip"
