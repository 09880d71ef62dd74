#!/usr/bin/env bash
# Screenshots of the frame and of every dialog template, shown one by one by the gallery
# on the Wine test machine under Xvfb: build/gallery/NAME.png.
#   scripts/gallery-shots.sh [OUTDIR] [NAME...]
# Uses the machine in $KOV_MACHINE when it is up, else makes one and stops it afterwards.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
win=${KOV_WIN:-$src/build/$(bash "$src/scripts/arch.sh")}
out=${1:-$src/build/gallery}
shift || true
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(frame RESID_DLG_PRINT 200 201 202 203 204 205 206 207 208 209
    210 211 212 213 214 217 218 219 220 223 224 225 226 227 228 229 231 232 233 235)
[ -x "$win/gallery.exe" ] || { echo "no $win/gallery.exe: build the win32 tree first" >&2; exit 1; }

made=
if [ -z "${KOV_MACHINE:-}" ] || [ ! -f "$KOV_MACHINE/display" ]; then
    export KOV_MACHINE=$win/gallery-machine
    "$src/tests/machine/make-machine" "$KOV_MACHINE" >/dev/null
    made=1
fi
mkdir -p "$out"

for name in "${names[@]}"; do
    "$src/tests/machine/wine-run" "$win/gallery.exe" "$name" </dev/null >/dev/null 2>&1 &
    pid=$!
    sleep 2.5
    if kill -0 "$pid" 2>/dev/null; then
        bash "$src/scripts/screenshot.sh" "$out/$name.png"
        kill "$pid" 2>/dev/null || true
    else
        echo "$name: nothing shown (no such template)"
    fi
    wait "$pid" 2>/dev/null || true
done

[ -n "$made" ] && "$src/tests/machine/stop-machine" "$KOV_MACHINE"
exit 0
