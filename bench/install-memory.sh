#!/usr/bin/env bash
# Peak memory of the install step against the package size: the same generated kind of tree
# at two sizes (bench/make-payload.py), each installed by installstep.exe (the install step
# on its driver, package appended) on a fresh test machine, RUNS times, under
# bench/measure.py. The peak should not grow with the package.
#
# usage: bench/install-memory.sh [RUNS]      (default 2; trees kept in build/bench/memory)
#        SIZES="5:50 500:2000" sets the sizes as MB:FILES pairs.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-2}
sizes=${SIZES:-5:50 500:2000}
work=$src/build/bench/memory
export KOV_ARCH=$(bash "$src/scripts/arch.sh")
win=$src/build/$KOV_ARCH
[ -x "$src/build/host/kovpack" ] || { echo "build first: make" >&2; exit 1; }
cmake --build "$win" --target installstep dunzip32 -j2 >/dev/null
mkdir -p "$work"
for pair in $sizes; do
    mb=${pair%%:*} files=${pair##*:}
    if [ ! -f "$work/tree$mb.done" ]; then
        python3 "$src/bench/make-payload.py" "$work/tree$mb" "$work/desc$mb.kovpack" \
            --dunzip "$win/dunzip32.dll" --files "$files" --mb "$mb" >&2
        touch "$work/tree$mb.done"
    fi
    cp "$win/dunzip32.dll" "$work/tree$mb/dunzip32.dll"
    "$src/build/host/kovpack" -q --stub "$win/installstep.exe" --source "$work/tree$mb" \
        -o "$work/STEP$mb.EXE" "$work/desc$mb.kovpack" 2>/dev/null
done

export KOV_MACHINE=$work/machine
"$src/tests/machine/stop-machine" "$KOV_MACHINE" >/dev/null 2>&1 || true
rm -rf "$KOV_MACHINE"
"$src/tests/machine/make-machine" "$KOV_MACHINE" >/dev/null
trap '"$src/tests/machine/stop-machine" "$KOV_MACHINE" >/dev/null 2>&1 || true' EXIT
. "$src/tests/machine/env.sh"
c=$WINEPREFIX/drive_c
for r in $(seq "$runs"); do
    for pair in $sizes; do
        mb=${pair%%:*}
        rm -rf "$c/Kov30I" "$c/bench-step.txt"
        cp "$work/STEP$mb.EXE" "$KOV_MACHINE/cdrom/STEP.EXE"
        line=$(python3 "$src/bench/measure.py" step.exe -- \
            "$src/tests/machine/wine-run" 'D:\STEP.EXE' 'C:\Kov30I' 'C:\bench-step.txt')
        echo "$mb MB, run $r: $line $(head -1 "$c/bench-step.txt" | tr -d '\r')"
    done
done
rm -rf "$c/Kov30I"
