#!/usr/bin/env bash
# Builds the Debian package of ZUL10 into dist/: a release tree in build-pkg/
# (no tests), then CPack. Beside it, when the Qt kit for Windows is there
# (scripts/qt-windows.sh) and the cross build in build-win/ has the program,
# the setup program and a zip of the program folder
# (scripts/package-windows.sh). Prints the files' paths.
#
#   scripts/package.sh
#
# Install it on a bench PC with `apt install ./dist/zul10_*.deb`, or on
# Windows with dist/zul10-<version>-setup.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tree=$root/build-pkg
dist=$root/dist

scripts/deps.sh
# Debian's own compiler and linker flags, every hardening feature on.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS
scripts/build.sh build-pkg -DCMAKE_BUILD_TYPE=Release -DZUL_TESTS=OFF
(cd "$tree" && cpack --config CPackConfig.cmake >cpack.log) || {
    cat "$tree/cpack.log" >&2
    echo "package.sh: cpack failed" >&2
    exit 1
}

mkdir -p "$dist"
rm -f "$dist"/zul10_*.deb
mv "$tree"/zul10_*.deb "$dist"/
ls "$dist"/zul10_*.deb

# The Windows program folder is what the cross build's install rules stage:
# zul10.exe, the Qt DLLs, platforms/, styles/ and the runtime DLLs.
kits=${ZUL_QT_KIT_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/zul10}
win_dir=$root/build-win/zul10-win64
win_targets=$(cmake --build build-win --target help 2>/dev/null || true)
if ! compgen -G "$kits/qt-*-mingw-w64-*/.complete" >/dev/null; then
    echo "package.sh: no Qt kit for Windows in $kits (scripts/qt-windows.sh builds it):" \
        "no setup program, the Debian package only" >&2
elif ! grep -qE '^(\.\.\. )?zul10(: .*)?$' <<<"$win_targets"; then
    echo "package.sh: the cross build in build-win/ has no zul10 (scripts/test-windows.sh" \
        "configures it with the kit): no setup program, the Debian package only" >&2
else
    cmake --build build-win --target zul10 -j"$(nproc)" >/dev/null
    rm -rf "$win_dir"
    cmake --install build-win --prefix "$win_dir" >/dev/null
    ZUL_SETUP_ICON=${ZUL_SETUP_ICON:-$root/build-win/app/zul10.ico} scripts/package-windows.sh "$win_dir"
fi
