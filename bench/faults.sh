#!/usr/bin/env bash
# The fault campaign in full: the file installation run once for every open, read, write,
# seek, rename, delete and extraction of a clean run, with that call failing once (retried
# or cancelled) or from then on, into a new folder and in place. host_tests runs a sample of
# the same points; this walks all of them and prints the figures.
# usage: bench/faults.sh [HOST_BUILD]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
host=${1:-$src/build/host}
[ -x "$host/host_tests" ] || { echo "no $host/host_tests (run make host first)" >&2; exit 1; }
KOV_FAULTS=full "$host/host_tests" --gtest_filter='Faults.*' --gtest_brief=1
