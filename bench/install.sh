#!/usr/bin/env bash
# Install step throughput: InstallFiles over the demo package and over a package of about
# 200 MB in 2,000 files (the tree of bench/kovpack.sh), natively on the host build, beside
# the in-process inflate alternative and a plain copy of the installed tree (the floor), all
# timed by the driver's own clock in the same run.
# usage: bench/install.sh [HOST_BUILD] [WORKDIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
host=${1:-$src/build/host}
work=${2:-$src/build/bench/install}
[ -f "$host/libkovcore.a" ] || { echo "no $host/libkovcore.a (run make first)" >&2; exit 1; }
mkdir -p "$work"
cd "$src"
# The driver (tests/drivers/bench_install.cpp) is built on demand in the host tree.
cmake --build "$host" --target bench_install >/dev/null
cp "$host/bench_install" "$work/driver"

demo=$src/build/demo/package.bin
big=$src/build/bench/kovpack/package.bin
[ -f "$demo" ] || { echo "no $demo (run make first)" >&2; exit 1; }
# The 2,000-file package is the one the package-builder benchmark makes.
[ -f "$big" ] || bash "$src/bench/kovpack.sh" "$host/kovpack" >/dev/null

for p in "$demo" "$big"; do
    for run in 1 2; do
        echo "== $(basename "$(dirname "$p")")/$(basename "$p"), run $run"
        sync
        "$work/driver" "$p" "$work"
    done
done
