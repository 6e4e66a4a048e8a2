#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks the service's unit as systemd reads it: systemd-analyze verify on a copy that starts
# the program given (the unit names /usr/bin/velquor, which need not be installed here), and
# systemd-analyze security, whose overall exposure must be "OK" or better. Runs offline,
# without systemd as the system's manager.
#
#   check-unit.sh UNIT PROGRAM
set -eu
[ $# -eq 2 ] || { echo "usage: check-unit.sh UNIT PROGRAM" >&2; exit 2; }
unit=$1
program=$2

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
copy=$dir/$(basename "$unit")
sed "s|/usr/bin/velquor |$program |" "$unit" >"$copy"
grep -q "^ExecStart=$program " "$copy" || { echo "FAIL: no ExecStart of /usr/bin/velquor" >&2; exit 1; }

# The man page named in Documentation= is installed with the package, not here. A setting
# systemd cannot parse is only a message, and ignored: any message is a failure here.
problems=$(systemd-analyze verify --man=no "$copy" 2>&1) || true
[ -z "$problems" ] || { printf 'FAIL: systemd-analyze verify:\n%s\n' "$problems" >&2; exit 1; }
verdict=$(systemd-analyze security --offline=true --no-pager "$copy" |
          sed -n 's/^→ Overall exposure level for [^:]*: //p')
echo "systemd-analyze security: $verdict"
case $verdict in
    *" PERFECT"* | *" SAFE"* | *" OK"*) ;;
    *) echo "FAIL: the unit's exposure is $verdict, worse than OK" >&2; exit 1 ;;
esac
echo "$unit verifies clean"
