#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The suite must leave the source tree as it found it:
#   sourcetree-clean.sh SOURCE record FILE    before the first test: what `git status` shows
#   sourcetree-clean.sh SOURCE compare FILE   after the last: the same, nothing new
# Compared are `git status` (new, changed, deleted files) and the files the program writes where
# it runs (COMPORT, a socket) even where .gitignore hides them. Before and after, not "empty",
# so that a developer's own uncommitted work does not fail the suite; a fresh clone starts empty.
# Exits 77 (skipped) where the source tree is no git checkout, as in an unpacked release.
set -uo pipefail
source=$1 mode=$2 file=$3
if ! git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "skipped: $source is not a git checkout"
    exit 77
fi
snapshot() {
    git -C "$source" status --porcelain --untracked-files=all || return 1
    # Ignored folders (the build trees) are listed as one line each, not looked into.
    git -C "$source" ls-files --others --ignored --exclude-standard --directory |
        grep -E '(^|/)(COMPORT|[^/]*\.sock)$' | sed 's/^/!! /'
    return 0
}
case $mode in
record)
    snapshot >"$file" || exit 1
    echo "Recorded the source tree's state ($(wc -l <"$file") entries)." ;;
compare)
    now=$(snapshot) || exit 1
    if ! diff <(cat "$file") <(echo -n "${now:+$now$'\n'}") >/dev/null; then
        echo "The source tree changed while the tests ran (< before, > after):"
        diff <(cat "$file") <(echo -n "${now:+$now$'\n'}")
        exit 1
    fi
    echo "The source tree is as the tests found it." ;;
*)
    echo "usage: $0 SOURCE record|compare FILE" >&2
    exit 2 ;;
esac
