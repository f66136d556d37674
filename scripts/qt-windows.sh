#!/usr/bin/env bash
# Builds Qt Core, Gui and Widgets for 64-bit Windows (mingw-w64) from
# Debian's own qt6-base source package, with Debian's host tools of the same
# version, and installs them into a kit folder outside the work tree, shared
# by every clone on the machine. Does nothing when the kit is there already.
# Prints the kit's folder on its last line.
#
#   scripts/qt-windows.sh            # build the kit if missing
#   ZUL_QT_KIT_ROOT=DIR scripts/qt-windows.sh   # another cache folder
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh

qt_version=6.4.2
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
cache=${ZUL_QT_KIT_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/zul10}
# The kit is built from the source package of the host tools' own Debian
# version, and named by it: a new Debian revision of qt6-base (a security
# fix) makes a new kit, so that the Windows program gets the fix too. An
# epoch's ":" has no place in a folder's name.
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
kit=$cache/qt-${host_version//:/_}-mingw-w64-x86_64-gcc$compiler-posix
if [[ -f $kit/.complete ]]; then
    echo "$kit"
    exit 0
fi

if [[ $host_version != "$qt_version"* ]]; then
    echo "qt-windows: the host tools are Qt $host_version, the kit needs $qt_version" >&2
    exit 1
fi

work=$cache/qt-${host_version//:/_}-work
mkdir -p "$work"
src=$(find "$work" -maxdepth 1 -type d -name "qtbase-everywhere-src-$qt_version*" | head -1)
if [[ -z $src ]]; then
    source scripts/debian-source.sh
    debian_source_download "$cache/apt" "$work" "qt6-base=$host_version"
    (cd "$work" && dpkg-source --no-check -x qt6-base_*.dsc "qtbase-everywhere-src-$qt_version" >/dev/null)
    src=$work/qtbase-everywhere-src-$qt_version
fi

started=$SECONDS
build=$work/build
rm -rf "$build"
mkdir -p "$build"
# Shared libraries, so that the Qt libraries stay replaceable. Only what the
# program and its widget suites use: Core, Gui, Widgets, Test, the windows
# and offscreen platform plugins and the styles. Debian's source leaves out the tablet headers the
# windows plugin would include, so tablet events are off.
(cd "$build" && "$src/configure" -prefix "$kit" -release -shared -qt-host-path /usr \
    -xplatform win32-g++ -nomake examples -nomake tests -no-opengl -no-dbus -no-icu \
    -no-openssl -no-fontconfig -no-pkg-config -qt-zlib -qt-pcre -qt-libpng -qt-harfbuzz \
    -qt-freetype -no-libjpeg -no-feature-network -no-feature-sql -no-feature-xml \
    -no-feature-printsupport -no-feature-concurrent -no-feature-tabletevent \
    -- -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -G Ninja) \
    >"$work/configure.log" 2>&1 || {
    tail -40 "$work/configure.log" >&2
    exit 1
}
cmake --build "$build" --parallel "$(nproc)" >"$work/build.log" 2>&1 || {
    tail -40 "$work/build.log" >&2
    exit 1
}
cmake --install "$build" >"$work/install.log" 2>&1
echo "built in $((SECONDS - started)) s on $(nproc) cores" >"$kit/.complete"
echo "qt-windows: kit built in $((SECONDS - started)) s" >&2
echo "$kit"
