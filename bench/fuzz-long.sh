#!/usr/bin/env bash
# Long fuzzing outside CI: every fuzz target for RUNS executions (10 million by default),
# one after the other, each from the committed seeds and its own growing corpus. Crashing
# inputs land in WORK/crashes/NAME-*; fixed ones belong in tests/fuzz/corpus/NAME as
# regression seeds. With --minimise the committed corpus of each target is replaced by the
# minimised union of the seeds and what the run found (libFuzzer's merge).
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
status=0
for name in $targets; do
    bin=$host/fuzz_$name
    [ -x "$bin" ] || { echo "no $bin (cmake --build $host --target fuzz_$name)" >&2; exit 1; }
    seeds=$src/tests/fuzz/corpus/$name
    corpus=$work/corpus/$name
    mkdir -p "$corpus" "$seeds"
    log=$work/$name.log
    limit=()
    [ "$maxtime" != 0 ] && limit=(-max_total_time="$maxtime")
    echo "== fuzz_$name: $runs runs${limit:+, at most $maxtime s}"
    if ! ASAN_OPTIONS=detect_leaks=1 nice "$bin" -runs="$runs" "${limit[@]}" -rss_limit_mb=1024 \
        -print_final_stats=1 -artifact_prefix="$work/crashes/$name-" "$corpus" "$seeds" \
        >"$log" 2>&1; then
        echo "fuzz_$name stopped on a finding: see $log and $work/crashes" >&2
        status=1
    fi
    grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$log" | tail -2 || true
    if [ "$minimise" = 1 ]; then
        fresh=$work/min/$name
        rm -rf "$fresh"
        mkdir -p "$fresh"
        # Seeds with a name (regression cases, hand-made inputs) always stay; the merge adds
        # only what covers more than they do.
        find "$seeds" -type f ! -regex '.*/[0-9a-f]\{40\}' -exec cp {} "$fresh"/ \;
        nice "$bin" -merge=1 -rss_limit_mb=1024 "$fresh" "$seeds" "$corpus" >"$work/$name.merge.log" 2>&1
        find "$seeds" -type f -regex '.*/[0-9a-f]\{40\}' -delete
        cp "$fresh"/* "$seeds"/
        echo "   corpus: $(ls "$seeds" | wc -l) files, $(cat "$seeds"/* | wc -c) bytes"
    fi
done
exit $status
