#!/usr/bin/env bash
# Long fuzzing outside CI: every fuzz target for RUNS executions (10 million by default),
# one after the other, each from the committed seeds and its own growing corpus. Crashing
# inputs land in WORK/crashes/NAME-*; fixed ones belong in tests/fuzz/corpus/NAME as
# regression seeds. With --minimise the committed corpus of each target is replaced by the
# minimised union of the seeds and what the run found (libFuzzer's merge).
# Targets run FUZZ_JOBS at a time (default: one per core), at the lowest priority, with their
# files in a memory file system when /dev/shm is there (TMPDIR), which makes the targets that
# go through files several times faster.
# usage: bench/fuzz-long.sh [--minimise] [--runs N] [--max-time SECONDS] [HOST_BUILD] [WORK]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
runs=10000000
maxtime=0
minimise=0
args=()
while [ $# -gt 0 ]; do
    case "$1" in
    --minimise) minimise=1 ;;
    --runs) runs=$2; shift ;;
    --max-time) maxtime=$2; shift ;;
    *) args+=("$1") ;;
    esac
    shift
done
host=${args[0]:-$src/build/host}
work=${args[1]:-$src/build/fuzz-long}
# Every target the build knows (FUZZERS in cmake/sources.cmake) unless FUZZ_TARGETS names some.
targets=${FUZZ_TARGETS:-$(sed -n 's/^set(FUZZERS \(.*\))$/\1/p' "$src/cmake/sources.cmake")}
mkdir -p "$work/crashes"
jobs=${FUZZ_JOBS:-$(nproc)}
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=$(mktemp -d /dev/shm/kov-fuzz.XXXXXX)
    trap 'rm -rf "$TMPDIR"' EXIT
fi
for name in $targets; do
    [ -x "$host/fuzz_$name" ] || { echo "no $host/fuzz_$name (cmake --build $host --target fuzz_$name)" >&2; exit 1; }
done

# One target: its run, then (with --minimise) the merge into the committed corpus. Prints
# its lines when it ends; a finding leaves WORK/NAME.failed.
fuzz_one() {
    local name=$1 bin=$host/fuzz_$1 seeds=$src/tests/fuzz/corpus/$1 corpus=$work/corpus/$1
    local log=$work/$1.log limit=() out
    mkdir -p "$corpus" "$seeds"
    rm -f "$work/$name.failed"
    [ "$maxtime" != 0 ] && limit=(-max_total_time="$maxtime")
    out="== fuzz_$name: $runs runs${limit:+, at most $maxtime s}"$'\n'
    if ! ASAN_OPTIONS=detect_leaks=1 nice -n 19 "$bin" -runs="$runs" "${limit[@]}" -rss_limit_mb=1024 \
        -print_final_stats=1 -artifact_prefix="$work/crashes/$name-" "$corpus" "$seeds" \
        >"$log" 2>&1; then
        out+="fuzz_$name stopped on a finding: see $log and $work/crashes"$'\n'
        : >"$work/$name.failed"
    fi
    out+=$(grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$log" | tail -2)$'\n'
    if [ "$minimise" = 1 ]; then
        local fresh=$work/min/$name
        rm -rf "$fresh"
        mkdir -p "$fresh"
        # Seeds with a name (regression cases, hand-made inputs) always stay; the merge adds
        # only what covers more than they do.
        find "$seeds" -type f ! -regex '.*/[0-9a-f]\{40\}' -exec cp {} "$fresh"/ \;
        nice -n 19 "$bin" -merge=1 -rss_limit_mb=1024 "$fresh" "$seeds" "$corpus" >"$work/$name.merge.log" 2>&1
        find "$seeds" -type f -regex '.*/[0-9a-f]\{40\}' -delete
        cp "$fresh"/* "$seeds"/
        out+="   corpus: $(ls "$seeds" | wc -l) files, $(cat "$seeds"/* | wc -c) bytes"$'\n'
    fi
    printf '%s' "$out"
}

for name in $targets; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    fuzz_one "$name" &
done
wait
status=0
for name in $targets; do [ -e "$work/$name.failed" ] && status=1; done
exit $status
