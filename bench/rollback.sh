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
[ -f "$host/libkovcore.a" ] || { echo "no $host/libkovcore.a (run make first)" >&2; exit 1; }
demo=$src/build/demo/package.bin
[ -f "$demo" ] || { echo "no $demo (run make first)" >&2; exit 1; }
mkdir -p "$work"
cd "$src"
CXX=${CXX:-clang++}
$CXX -std=c++17 -O2 -I. -I"$host/gen" bench/rollback_driver.cpp dunzip/unzip.cpp dunzip/inflate.cpp "$host/libkovcore.a" \
    -lz -o "$work/driver"
"$work/driver" "$demo" "$work" "$runs"
