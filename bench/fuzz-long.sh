#!/usr/bin/env bash
# Long fuzzing outside CI: every fuzz target until it has made RUNS executions (10 million
# by default), from the committed seeds and its own growing corpus. A campaign may be
# stopped at any time and started again: the executions of every earlier run in WORK count
# (WORK/NAME.tally, taken from each run's log, a run ended by a signal included), and a
# target that has reached RUNS is passed over. Crashing inputs land in WORK/crashes/NAME-*;
# fixed ones belong in tests/fuzz/corpus/NAME as regression seeds. With --minimise the
# committed corpus of a target that reached RUNS is replaced by the minimised union of the
# seeds and what the runs found (libFuzzer's merge), also for a target that had reached RUNS
# before.
# Targets run FUZZ_JOBS at a time (default: one per core), at the lowest priority, with their
# files in a memory file system when /dev/shm is there (TMPDIR), which makes the targets that
# go through files several times faster.
# usage: bench/fuzz-long.sh [--minimise] [--runs N] [--max-time SECONDS] [HOST_BUILD] [WORK]
#        bench/fuzz-long.sh --tally [WORK]    prints what the runs so far made, and stops
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
runs=10000000
maxtime=0
minimise=0
tally_only=0
args=()
while [ $# -gt 0 ]; do
    case "$1" in
    --minimise) minimise=1 ;;
    --runs) runs=$2; shift ;;
    --max-time) maxtime=$2; shift ;;
    --tally) tally_only=1 ;;
    *) args+=("$1") ;;
    esac
    shift
done
if [ "$tally_only" = 1 ]; then
    host=$src/build/host
    work=${args[0]:-$src/build/fuzz-long}
else
    host=${args[0]:-$src/build/host}
    work=${args[1]:-$src/build/fuzz-long}
fi
# Every target the build knows (FUZZERS in cmake/sources.cmake) unless FUZZ_TARGETS names some.
targets=${FUZZ_TARGETS:-$(sed -n 's/^set(FUZZERS \(.*\))$/\1/p' "$src/cmake/sources.cmake")}
mkdir -p "$work/crashes"

# Executions a run's log records: its final count, or for a run ended by a signal the last
# status line's.
executed() {
    local n
    n=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)$/\1/p' "$1" | tail -1)
    [ -n "$n" ] || n=$(sed -n 's/^#\([0-9][0-9]*\)[[:space:]].*/\1/p' "$1" | tail -1)
    echo "${n:-0}"
}
tally() { cat "$work/$1.tally" 2>/dev/null || echo 0; }
# Adds the last run's log of a target to its tally, once.
count_last_run() {
    local log=$work/$1.log
    [ -f "$log" ] || return 0
    echo $(($(tally "$1") + $(executed "$log"))) >"$work/$1.tally"
    mv "$log" "$work/$1.counted.log"
}

if [ "$tally_only" = 1 ]; then
    # A log not yet counted may belong to a run still going: it is shown, not counted, and
    # the next campaign counts it.
    for name in $targets; do
        line=$(printf '%-12s %12s executions' "$name" "$(tally "$name")")
        [ -f "$work/$name.log" ] && line+=" (+$(executed "$work/$name.log") in a run not yet counted)"
        echo "$line"
    done
    exit 0
fi
for name in $targets; do count_last_run "$name"; done
for name in $targets; do
    [ -x "$host/fuzz_$name" ] || { echo "no $host/fuzz_$name (cmake --build $host --target fuzz_$name)" >&2; exit 1; }
done
jobs=${FUZZ_JOBS:-$(nproc)}
# One folder per WORK, emptied when a campaign starts and not when it ends: a campaign that
# is stopped must not pull the files from under fuzzers still finishing their input.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm/kov-fuzz-$(printf '%s' "$(cd "$work" && pwd)" | md5sum | cut -c1-8)
    rm -rf "$TMPDIR"
    mkdir -p "$TMPDIR"
fi

# One target: its run for what its tally lacks, then (with --minimise, once it has reached
# RUNS) the merge into the committed corpus. Prints its lines when it ends; a finding leaves
# WORK/NAME.failed.
fuzz_one() {
    local name=$1 bin=$host/fuzz_$1 seeds=$src/tests/fuzz/corpus/$1 corpus=$work/corpus/$1
    local log=$work/$1.log limit=() out left
    mkdir -p "$corpus" "$seeds"
    rm -f "$work/$name.failed"
    left=$((runs - $(tally "$name")))
    if [ "$left" -le 0 ]; then
        out="== fuzz_$name: $(tally "$name") executions already"$'\n'
    else
        [ "$maxtime" != 0 ] && limit=(-max_total_time="$maxtime")
        out="== fuzz_$name: $left runs${limit:+, at most $maxtime s}"$'\n'
        if ! ASAN_OPTIONS=detect_leaks=1 nice -n 19 "$bin" -runs="$left" "${limit[@]}" \
            -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$work/crashes/$name-" \
            "$corpus" "$seeds" >"$log" 2>&1; then
            out+="fuzz_$name stopped on a finding: see $log and $work/crashes"$'\n'
            : >"$work/$name.failed"
        fi
        count_last_run "$name"
        out+="   $(tally "$name") executions in all"$'\n'
    fi
    if [ "$minimise" = 1 ] && [ "$(tally "$name")" -ge "$runs" ]; then
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
