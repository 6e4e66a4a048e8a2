#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks a built velquor .deb: its control fields (name, maintainer, section, the runtime
# dependencies on the Qt 6 libraries, the platform plugins and the fonts), and its files,
# unpacked into a scratch root with dpkg -x, checked by check-install.sh.
#
#   check-deb.sh DEB
set -eu
[ $# -eq 1 ] || { echo "usage: check-deb.sh DEB" >&2; exit 2; }
deb=$1
here=$(cd "$(dirname "$0")" && pwd)

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

field() {
    dpkg-deb --field "$deb" "$1"
}

[ "$(field Package)" = velquor ] || fail "the package is named \"$(field Package)\""
[ -n "$(field Maintainer)" ] || fail "the package has no maintainer"
[ -n "$(field Section)" ] || fail "the package has no section"
version=$(field Version)
[ -n "$version" ] || fail "the package has no version"

# Every package the programs need at run time, each named once in Depends.
depends=$(field Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6network6 \
               qt6-qpa-plugins libsystemd0 \
               fonts-liberation fonts-droid-fallback libc6 libstdc++6; do
    count=$(printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' |
            grep -cx "$package" || true)
    [ "$count" -eq 1 ] || fail "Depends names $package $count times: $depends"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$deb" "$root"
"$here/check-install.sh" --prefix /usr --emulator --gzip-man --version "$version" "$root" ||
    failures=$((failures + 1))

if [ "$failures" -ne 0 ]; then
    echo "$deb: $failures check(s) failed" >&2
    exit 1
fi
echo "$deb: control fields and files are as they belong"
