#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks that every source file of the tree carries its licence line near its top:
# "SPDX-License-Identifier: MIT" in the comment form of its language (C++, CMake, shell).
#
#   check-spdx.sh SOURCE_DIR
set -eu
[ $# -eq 1 ] || { echo "usage: check-spdx.sh SOURCE_DIR" >&2; exit 2; }
cd "$1"

missing=0
# Build trees and the fuzzers' seed inputs are not sources.
files=$(find . \( -path './build*' -o -path './.git' -o -path './fuzz/corpus' -o -path './.cache' \) \
             -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name 'CMakeLists.txt' \
             -o -name '*.cmake' -o -name '*.sh' -o -path './scripts/*' -o -path './.ci/*' \) \
             -print | sort)
for file in $files; do
    if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: MIT'; then
        echo "no licence line: $file"
        missing=$((missing + 1))
    fi
done
count=$(printf '%s\n' "$files" | grep -c . || true)
if [ "$missing" -ne 0 ]; then
    echo "$missing of $count source files have no SPDX-License-Identifier line" >&2
    exit 1
fi
echo "all $count source files carry SPDX-License-Identifier: MIT"
