#!/usr/bin/env bash
# The main job on a fresh machine: makes the Wine test machine, runs the setup on it the way
# a user would start it, and prints the setup.log it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
machine=$PWD/build/demo-machine
tests/machine/make-machine "$machine" >/dev/null
trap 'tests/machine/stop-machine "$machine"' EXIT
export KOV_MACHINE=$machine
drive_c=$machine/prefix/drive_c

exe=build/win32/setup.exe
[ -f build/demo/SETUP.EXE ] && exe=build/demo/SETUP.EXE
cp "$exe" "$machine/cdrom/SETUP.EXE"
echo "Running D:\\SETUP.EXE -C -M on the test machine ($exe)"
timeout 120 tests/machine/wine-run 'D:\SETUP.EXE' -C -M || true
echo "---- C:\\setup.log ----"
cat "$drive_c/setup.log" 2>/dev/null || echo "(no log written)"
