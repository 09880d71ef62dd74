#!/usr/bin/env bash
# Saves a PNG of the test machine's display: screenshot.sh [OUT.png]
# KOV_MACHINE names the machine (default the machine of the Windows tree this host tests).
set -euo pipefail
here=$(dirname "$(realpath "$0")")
export KOV_MACHINE=${KOV_MACHINE:-$here/../build/$(bash "$here/arch.sh")/machine}
. "$here/../tests/machine/env.sh"
out=${1:-$KOV_MACHINE/shots/$(date +%H%M%S).png}
mkdir -p "$(dirname "$out")"
xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$out"
echo "$out"
