#!/usr/bin/env bash
# The cost of the rollback journal: install time and bytes written of an in-place update of
# the demo package over an earlier installation of itself, with the earlier files moved
# aside and deleted at the commit, and without (overwritten in place), natively on the host
# build, medians of RUNS runs each, alternated.
# usage: bench/rollback.sh [RUNS] [HOST_BUILD] [WORKDIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
host=${2:-$src/build/host}
work=${3:-$src/build/bench/rollback}
demo=$src/build/demo/package.bin
[ -f "$demo" ] || { echo "no $demo (run make first)" >&2; exit 1; }
mkdir -p "$work"
# The driver (tests/drivers/bench_rollback.cpp) is built on demand in the host tree.
cmake --build "$host" --target bench_rollback >/dev/null
cp "$host/bench_rollback" "$work/driver"
"$work/driver" "$demo" "$work" "$runs"
