#!/usr/bin/env bash
# One version everywhere: the project version in CMakeLists.txt
# (MAJOR.MINOR.REVISION, read as MAJOR.MINOR-REVISION), the version the
# version dialog shows, the Debian package's version and its changelog, as
# the build configured them, and the newest entry of CHANGELOG.md. Names
# each that differs.
#
#   version_test.sh SOURCE BUILD
set -euo pipefail
source=$(realpath "$1")
build=$(realpath "$2")
failed=0
fail() {
    echo "version_test: $*" >&2
    failed=1
}
# The value of a line `NAME = "VALUE"` or `set(NAME "VALUE")` of a file.
quoted() {
    sed -n "s/.*$2[^\"]*\"\([^\"]*\)\".*/\1/p" "$1" | head -1
}

project=$(sed -n 's/^project(zul10 VERSION \([0-9]*\)\.\([0-9]*\)\.\([0-9]*\)[ )].*/\1.\2-\3/p' \
    "$source/CMakeLists.txt")
[[ -n $project ]] || { echo "version_test: no project version in CMakeLists.txt" >&2; exit 1; }

dialog=$(quoted "$build/app/ProgramVersion.h" kProgramVersion)$(quoted "$build/app/ProgramVersion.h" kRevisionSuffix)
package=$(quoted "$build/CPackConfig.cmake" CPACK_DEBIAN_PACKAGE_VERSION)-$(quoted "$build/CPackConfig.cmake" CPACK_DEBIAN_PACKAGE_RELEASE)
debian=$(sed -n '1s/^zul10 (\([^)]*\)).*/\1/p' "$build/packaging/changelog.Debian")
# The first "## [VERSION]" heading; "Unreleased" is no version yet.
newest=$(sed -n 's/^## \[\([^]]*\)\].*/\1/p' "$source/CHANGELOG.md" | grep -vix unreleased | head -1 || true)

for pair in "version dialog:$dialog" "Debian package:$package" "Debian changelog:$debian" \
    "newest entry of CHANGELOG.md:$newest"; do
    what=${pair%%:*}
    version=${pair#*:}
    [[ $version == "$project" ]] || fail "the $what says '${version}', the project version is $project"
done
((failed == 0)) || exit 1
echo "version_test: $project everywhere"
