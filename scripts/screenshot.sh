#!/usr/bin/env bash
# Saves a PNG of the test machine's display: screenshot.sh [OUT.png]
# KOV_MACHINE names the machine (default build/win32/machine of this tree).
set -euo pipefail
here=$(dirname "$(realpath "$0")")
export KOV_MACHINE=${KOV_MACHINE:-$here/../build/win32/machine}
. "$here/../tests/machine/env.sh"
out=${1:-$KOV_MACHINE/shots/$(date +%H%M%S).png}
mkdir -p "$(dirname "$out")"
xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$out"
echo "$out"
