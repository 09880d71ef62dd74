#!/usr/bin/env bash
# Package size against NSIS on the same payload: the demo client's files (make builds them
# into build/demo/files), packed by kovpack (default: zlib and libdeflate per file, every
# core; and --fast: zlib alone) and by makensis (zlib, non-solid as it is by default; and
# lzma solid). Sizes are of the payload alone: our bare package (install script, file table,
# stored files), and each NSIS installer less an installer of the same script without files.
# usage: bench/package-size.sh [FILES_DIR] [DESCRIPTION] [WORKDIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
files=$(cd "${1:-$src/build/demo/files}" && pwd)
description=${2:-$src/demo/kov30i.kovpack}
work=${3:-$src/build/bench/package-size}
kovpack=$src/build/host/kovpack
[ -x "$kovpack" ] || { echo "no kovpack at $kovpack (run make first)" >&2; exit 1; }
command -v makensis >/dev/null || { echo "makensis is not installed" >&2; exit 1; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
now() { date +%s.%N; }

# The NSIS script installs every file of the tree at its relative path.
nsis_script() {  # compressor, with-files (1/0)
    echo "Unicode true"
    echo "SetCompressor /FINAL $1"
    echo "OutFile \"$work/nsis.exe\""
    echo "InstallDir \"\$PROGRAMFILES\\Kov30I\""
    echo "RequestExecutionLevel user"
    echo "Section"
    if [ "$2" = 1 ]; then
        (cd "$files" && find . -type d | sort) | while read -r d; do
            rel=${d#./}; rel=${rel#.}
            echo "SetOutPath \"\$INSTDIR${rel:+\\${rel//\//\\}}\""
            (cd "$files/$d" && find . -maxdepth 1 -type f | sort) | while read -r f; do
                echo "File \"$files/${rel:+$rel/}${f#./}\""
            done
        done
    fi
    echo "SectionEnd"
}
nsis_size() {  # compressor, with-files
    nsis_script "$@" > "$work/peer.nsi"
    makensis -V1 "$work/peer.nsi" >/dev/null
    stat -c %s "$work/nsis.exe"
}

bytes=$(find "$files" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
count=$(find "$files" -type f | wc -l)
echo "payload: $count files, $bytes bytes ($(nproc) cores)"
row() { printf '%-34s %10s %8s\n' "$@"; }
row "packer" "payload" "time"
for mode in "" "--smallest" "--fast" "--fast -j 1"; do
    t0=$(now)
    "$kovpack" -q $mode --source "$files" -o "$work/package.bin" "$description"
    t1=$(now)
    row "kovpack ${mode:-(default)}" "$(stat -c %s "$work/package.bin")" \
        "$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.2f s", b - a}')"
done
for c in zlib "/SOLID lzma"; do
    empty=$(nsis_size "$c" 0)
    t0=$(now)
    full=$(nsis_size "$c" 1)
    t1=$(now)
    row "makensis $c" "$((full - empty))" \
        "$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.2f s", b - a}')"
done
echo "(NSIS overhead, the empty zlib installer: $(nsis_size zlib 0) bytes)"
