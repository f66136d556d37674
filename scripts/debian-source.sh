# Sourced by the scripts that build from Debian's own source packages
# (scripts/qt-windows.sh, scripts/simdjson-source.sh).
#
#   debian_source_download APT_DIR WORK_DIR PACKAGE=VERSION
#
# Downloads the source package into WORK_DIR through an apt configuration of
# its own in APT_DIR: a deb-src entry for the distribution, its own lists,
# nothing of the machine's sources changed. Each caller keeps its own
# APT_DIR, so two of them may run at once.
debian_source_download() {
    local apt_dir=$1 work=$2 wanted=$3
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/sources.list.d" "$work"
    local codename
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    cat >"$apt_dir/sources.list" <<SOURCES
deb-src http://deb.debian.org/debian $codename main
deb-src http://deb.debian.org/debian $codename-updates main
deb-src http://deb.debian.org/debian-security $codename-security main
SOURCES
    local options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
                   -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
                   -o "Dir::State::Lists=$apt_dir/lists"
                   -o "APT::Sandbox::User=root")
    apt-get "${options[@]}" update -qq
    (cd "$work" && apt-get "${options[@]}" source --download-only "$wanted" -qq)
}
