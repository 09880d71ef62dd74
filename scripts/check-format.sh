#!/bin/bash
# Fails when a tracked C++ source or header differs from what clang-format makes of it
# (the house style of .clang-format). Run from anywhere; prints the offending places.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=$(git ls-files '*.cpp' '*.h' '*.c')
else
    files=$(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print)
fi
[ -n "$files" ] || exit 0
# shellcheck disable=SC2086
clang-format --dry-run -Werror $files
