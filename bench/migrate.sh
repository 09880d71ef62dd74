#!/usr/bin/env bash
# Migration and search speed: the migration of an old main database of 100,000 records
# (time, and peak memory, which the pending list keeps flat), and the disk walk over a tree
# of 20,000 folders (time, and how soon a Skip ends it).
# Usage: bench/migrate.sh [HOST_BUILD_DIR]   (default build/host; run `make host` first)
set -euo pipefail
cd "$(dirname "$0")/.."
HOST=${1:-${KOV_HOST:-build/host}}
WORK=$(mktemp -d /tmp/migrate-bench.XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT

# The driver (tests/drivers/bench_migrate.cpp) is built on demand in the host tree.
cmake --build "$HOST" --target bench_migrate >/dev/null
cp "$HOST/bench_migrate" "$WORK/driver"

# C:\OLD holds N records, art keys the new database lacks (each is carried), 0 to 96
# bytes; C:\NEW holds the version record only.
python3 - "$WORK/c" 100000 <<'PY'
import os, random, struct, sys
root, n = sys.argv[1], int(sys.argv[2])
def db(path, records):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    out = bytearray(b"KOVDB-25\0" + struct.pack("<I", 0x01000401) + bytes(12))
    for gid, flags, data in records:
        out += b"R2D2" + struct.pack("<IIHIII", gid, len(data), flags, 0, 0, len(out)) + data
    open(path, "wb").write(out)
rnd = random.Random(7)
names = bytes([1]) + b"Jean".ljust(11, b"\0") + b"secret".ljust(11, b"\0")
old = [(0x14000010, 0x2062, names)]
old += [(0x01000000 + i, 0x70, bytes(rnd.getrandbits(8) for _ in range(rnd.randrange(97))))
        for i in range(n)]
db(root + "/OLD/IDB/MAIN.IDX", old)
db(root + "/NEW/IDB/MAIN.IDX", [(0x14000006, 0x2062, bytes([0, 3, 0, 0]))])
PY
echo "old database: $(stat -c %s "$WORK/c/OLD/IDB/MAIN.IDX") bytes"
"$WORK/driver" migrate "$WORK/c"

# 200 folders of 100 folders each, no installation: the whole tree is walked.
python3 - "$WORK/w" <<'PY'
import os, sys
for i in range(200):
    for j in range(100):
        os.makedirs(f"{sys.argv[1]}/F{i:03}/G{j:03}")
PY
"$WORK/driver" walk "$WORK/w"
"$WORK/driver" walk "$WORK/w" 10000
