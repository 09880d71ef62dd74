#!/usr/bin/env bash
# Package builder throughput: kovpack over a tree of about 200 MB in 2,000 files, beside
# `zip -r -6` of the same tree in the same run (both single-threaded deflate at level 6).
# usage: bench/kovpack.sh [KOVPACK] [WORKDIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
kovpack=${1:-$src/build/host/kovpack}
work=${2:-$src/build/bench/kovpack}
[ -x "$kovpack" ] || { echo "no kovpack at $kovpack (run make first)" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }

tree=$work/tree
if [ ! -f "$work/tree.done" ]; then
    rm -rf "$work"; mkdir -p "$tree"
    # Deterministic contents like a client's: programs (half random, half repeated
    # records), texts and profiles. About 100 KB a file on average.
    python3 - "$tree" "$work/bench.kovpack" <<'PY'
import os, random, sys
tree, desc = sys.argv[1], sys.argv[2]
rng = random.Random(1997)
words = ("le la les un une des du de et pour avec dans sur votre vous modem courrier message "
         "dossier fichier connexion service membre forum page aide option").split()
phrases = [" ".join(rng.choice(words) for _ in range(12)).encode() + b".\r\n" for _ in range(500)]
names = []
total = 0
for i in range(2000):
    folder = ("tool", "art", "idb", "ccl", "aide", "sounds", "mpm", "data")[i % 8]
    kind = i % 4
    size = int(rng.expovariate(1 / 100000)) + 200
    out = bytearray()
    if kind == 3:
        while len(out) < size:
            out += rng.choice(phrases)
    else:
        while len(out) < size:
            n = rng.randint(256, 4096)
            if rng.random() < 0.5:
                out += rng.randbytes(n)
            else:
                r = rng.randbytes(rng.randint(8, 64))
                out += (r * (n // len(r) + 1))[:n]
    data = bytes(out[:size])
    if i == 0:
        name = "dunzip32.dll"; data = b"MZ" + data
    else:
        name = "%s\\f%04d.%s" % (folder, i, ("dll", "art", "idx", "txt")[kind])
    path = os.path.join(tree, *name.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    names.append(name)
    total += len(data)
with open(desc, "w") as f:
    f.write("[Setup]\nDefaultDestDir = C:\\Kov30I\nQuickRefFile = quickref.txt\n[Files]\n")
    f.write("\n".join(names) + "\n")
print("tree: %d files, %.1f MB" % (len(names), total / 1e6))
PY
    touch "$work/tree.done"
fi

bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
files=$(find "$tree" -type f | wc -l)
sync
now() { date +%s.%N; }

t0=$(now)
"$kovpack" -q --source "$tree" -o "$work/package.bin" "$work/bench.kovpack"
t1=$(now)
rm -f "$work/tree.zip"
(cd "$tree" && zip -r -6 -q "$work/tree.zip" .)
t2=$(now)

awk -v b="$bytes" -v f="$files" -v k0="$t0" -v k1="$t1" -v z2="$t2" \
    -v ks="$(stat -c %s "$work/package.bin")" -v zs="$(stat -c %s "$work/tree.zip")" 'BEGIN {
    kt = k1 - k0; zt = z2 - k1
    printf "input: %d files, %.1f MB\n", f, b / 1e6
    printf "kovpack : %6.2f s  %6.1f MB/s  output %.1f MB\n", kt, b / 1e6 / kt, ks / 1e6
    printf "zip -r -6: %6.2f s  %6.1f MB/s  output %.1f MB\n", zt, b / 1e6 / zt, zs / 1e6
    printf "kovpack/zip throughput ratio: %.2f\n", zt / kt
}'
