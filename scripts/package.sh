#!/usr/bin/env bash
# Builds the Debian package of ZUL10 into dist/: a release tree in build-pkg/
# (no tests), then CPack. Prints the package's path.
#
#   scripts/package.sh
#
# Install it on a bench PC with `apt install ./dist/zul10_*.deb`.
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
