#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks a man page: it renders with man -l without a single groff warning, and, when the
# program is given, it documents every option that the program's --help lists and every
# console command in the help's "Commands" list.
#
#   check-manpage.sh PAGE [PROGRAM]
set -eu
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: check-manpage.sh PAGE [PROGRAM]" >&2; exit 2; }
page=$1
program=${2:-}
export LC_ALL=C.UTF-8 MANWIDTH=80

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

warnings=$(mktemp)
trap 'rm -f "$warnings"' EXIT
if ! rendered=$(man --warnings -l "$page" 2>"$warnings"); then
    fail "man -l $page failed: $(cat "$warnings")"
elif [ -s "$warnings" ]; then
    fail "man -l $page warns:
$(cat "$warnings")"
fi
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS"; do
    printf '%s\n' "$rendered" | grep -qx "$section" || fail "$page renders no $section section"
done

if [ -n "$program" ]; then
    help=$("$program" --help) || fail "$program --help failed"
    # The tags of the page's tagged paragraphs (the line after each .TP), with roff's \- as
    # plain hyphens: every option and every command has a paragraph of its own.
    macros=$(sed 's/\\-/-/g' "$page" | awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }')
    options=$(printf '%s\n' "$help" | grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u)
    for option in $options; do
        printf '%s\n' "$macros" | grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" ||
            fail "$page does not document the option $option"
    done
    # Console commands: the lines "  word ..." after the line that starts the list.
    commands=$(printf '%s\n' "$help" |
        sed -n '/^Commands/,/^$/s/^  \([a-z][a-z]*\).*/\1/p' | sort -u)
    for command in $commands; do
        printf '%s\n' "$macros" | grep -qE "^\.B[IR]? $command( |\$)" ||
            fail "$page does not document the command $command"
    done
    echo "$page: $(echo "$options" | wc -w) options, $(echo "$commands" | wc -w) commands documented"
fi

[ "$failures" -eq 0 ] || exit 1
echo "$page renders cleanly"
