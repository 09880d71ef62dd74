#!/usr/bin/env bash
# The inflater against zlib over generated deflate streams: codes complete, incomplete,
# over-subscribed, empty or of one code, symbols a code lacks, distances past the start,
# streams cut short. Every stream must be refused by both or decoded by both to the same
# bytes. make test runs a few thousand; this runs as many as asked, in slices with their own
# seeds, and prints the tally and the time.
# Usage: bench/inflate-zlib.sh [STREAMS] [HOST_BUILD_DIR]   (default 500000, build/host)
set -euo pipefail
cd "$(dirname "$0")/.."
STREAMS=${1:-500000}
HOST=${2:-${KOV_HOST:-build/host}}
SLICE=50000
decoded=0 refused=0 disagreed=0 done=0 seed=1
start=$(date +%s.%N)
while [ "$done" -lt "$STREAMS" ]; do
    n=$((STREAMS - done < SLICE ? STREAMS - done : SLICE))
    line=$(KOV_INFLATE_STREAMS=$n KOV_INFLATE_SEED=$seed nice "$HOST/host_tests" \
        --gtest_filter=Inflate.AgreesWithZlibOnEveryCodeShape 2>&1 | grep '^inflate against zlib' || true)
    [ -n "$line" ] || { echo "no tally from the slice at seed $seed" >&2; exit 1; }
    read -r d r x < <(sed -E 's/.*: ([0-9]+) streams, ([0-9]+) decoded alike, ([0-9]+) refused alike, ([0-9]+) disagreements/\2 \3 \4/' <<<"$line")
    decoded=$((decoded + d)) refused=$((refused + r)) disagreed=$((disagreed + x))
    done=$((done + n)) seed=$((seed + n))
done
end=$(date +%s.%N)
printf 'streams %d: decoded alike %d, refused alike %d, disagreements %d, %.1f s\n' \
    "$done" "$decoded" "$refused" "$disagreed" "$(echo "$end - $start" | bc)"
[ "$disagreed" = 0 ]
