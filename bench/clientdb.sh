#!/usr/bin/env bash
# Record database speed: open and iterate databases of 100,000 and 200,000 records (with
# kovdb list and with a small driver), and write 10,000 records into the first one. The
# index must grow linearly: the 200,000 open should take about twice the 100,000 one.
# Usage: bench/clientdb.sh [HOST_BUILD_DIR]   (default build/host; run `make host` first)
set -euo pipefail
cd "$(dirname "$0")/.."
HOST=${1:-${KOV_HOST:-build/host}}
WORK=$(mktemp -d /tmp/clientdb-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# The driver (tests/drivers/bench_clientdb.cpp) is built on demand in the host tree.
cmake --build "$HOST" --target bench_clientdb >/dev/null
cp "$HOST/bench_clientdb" "$WORK/driver"

# A new-form database of N records: art and settings keys, sizes 0 to 96 bytes, every tenth
# record a second live copy of an earlier key (so lookups hit existing entries too).
make_db() {
    python3 - "$1" "$2" <<'PY'
import random, struct, sys
path, n = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
out = bytearray(b"KOVDB-25\0" + struct.pack("<I", 0x01000401) + bytes(12))
for i in range(n):
    gid = (0x01000000 if i % 2 else 0x14000000) + (i // 2)
    if i % 10 == 9:
        gid = (0x01000000 if (i // 3) % 2 else 0x14000000) + (i // 3) // 2
    data = bytes(rnd.getrandbits(8) for _ in range(rnd.randrange(97)))
    out += b"R2D2" + struct.pack("<IIHIII", gid, len(data), 0x2062, 0, 0, len(out)) + data
open(path, "wb").write(out)
PY
}

best() {   # best of three runs of a command, in seconds
    local best=999999
    for _ in 1 2 3; do
        local s e
        s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
        best=$(python3 -c "print(min($best, $e - $s))")
    done
    printf '%.3f' "$best"
}

for n in 100000 200000; do
    make_db "$WORK/db$n.idx" "$n"
    size=$(stat -c %s "$WORK/db$n.idx")
    list=$(best "$HOST/kovdb" list "$WORK/db$n.idx")
    echo "records $n ($size bytes): kovdb list ${list} s (best of 3); driver: $("$WORK/driver" open "$WORK/db$n.idx")"
done
cp "$WORK/db100000.idx" "$WORK/w.idx"
echo "write 10000 into 100000: $("$WORK/driver" write "$WORK/w.idx" 10000)"
