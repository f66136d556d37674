#!/usr/bin/env bash
# Fetches Debian's own simdjson source package (the version of the installed
# libsimdjson-dev) once, for the Windows cross build: the Linux library
# cannot be linked into a Windows program, so the build compiles the
# package's single-file amalgamation (singleheader/simdjson.cpp) itself.
# Prints the folder that holds simdjson.h and simdjson.cpp on its last line.
# Does nothing when it is there already.
#
#   scripts/simdjson-source.sh
#   ZUL_QT_KIT_ROOT=DIR scripts/simdjson-source.sh   # another cache folder
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh >&2

version=$(dpkg-query -W -f='${Version}' libsimdjson-dev)
upstream=${version%-*}
cache=${ZUL_QT_KIT_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/zul10}
work=$cache/simdjson-$version
single=$work/simdjson-$upstream/singleheader
if [[ -f $single/simdjson.cpp && -f $single/simdjson.h ]]; then
    echo "$single"
    exit 0
fi

# The source package through an apt configuration of its own (apart from
# the Qt kit's).
source scripts/debian-source.sh
debian_source_download "$cache/apt-simdjson" "$work" "simdjson=$version" >&2
rm -rf "${work:?}/simdjson-$upstream"
(cd "$work" && dpkg-source --no-check -x simdjson_*.dsc "simdjson-$upstream" >/dev/null)
if [[ ! -f $single/simdjson.cpp || ! -f $single/simdjson.h ]]; then
    echo "simdjson-source: the source package has no singleheader/ amalgamation" >&2
    exit 1
fi
echo "$single"
