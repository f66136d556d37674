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

# The source package through an apt configuration of our own (its own
# folder, apart from the Qt kit's): a deb-src entry for the distribution,
# its own lists, nothing of the machine's sources changed.
apt_dir=$cache/apt-simdjson
mkdir -p "$apt_dir/lists/partial" "$apt_dir/sources.list.d" "$work"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
cat >"$apt_dir/sources.list" <<EOF
deb-src http://deb.debian.org/debian $codename main
deb-src http://deb.debian.org/debian $codename-updates main
deb-src http://deb.debian.org/debian-security $codename-security main
EOF
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
             -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
             -o "Dir::State::Lists=$apt_dir/lists"
             -o "APT::Sandbox::User=root")
apt-get "${apt_options[@]}" update -qq >&2
(cd "$work" && apt-get "${apt_options[@]}" source --download-only "simdjson=$version" -qq >&2)
rm -rf "${work:?}/simdjson-$upstream"
(cd "$work" && dpkg-source --no-check -x simdjson_*.dsc "simdjson-$upstream" >/dev/null)
if [[ ! -f $single/simdjson.cpp || ! -f $single/simdjson.h ]]; then
    echo "simdjson-source: the source package has no singleheader/ amalgamation" >&2
    exit 1
fi
echo "$single"
