#!/usr/bin/env bash
# Package builder throughput: kovpack over a tree of about 200 MB in 2,000 files, beside
# `zip -r -6` of the same tree in the same run: kovpack as a release build runs it (zlib and
# libdeflate tried on every file, on every core) and with --fast -j 1 (zlib at level 6 on one
# thread, as zip).
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
    f.write("[Setup]\nDefaultDestDir = C:\\Kov30I\n[Files]\n")
    f.write("\n".join(names) + "\n")
print("tree: %d files, %.1f MB" % (len(names), total / 1e6))
PY
    touch "$work/tree.done"
fi

bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
files=$(find "$tree" -type f | wc -l)
sync

# Wall time and CPU time (user + system) of each; on a shared machine the CPU time says more.
timed() {  # output, command...
    local out=$1; shift
    /usr/bin/time -f '%e %U %S' -o "$work/$out.time" "$@"
}
timed release "$kovpack" -q --source "$tree" -o "$work/package.bin" "$work/bench.kovpack"
timed fast "$kovpack" -q --fast -j 1 --source "$tree" -o "$work/package-fast.bin" "$work/bench.kovpack"
rm -f "$work/tree.zip"
(cd "$tree" && timed zip zip -r -6 -q "$work/tree.zip" .)

report() {  # label, time file, output file
    awk -v l="$1" -v b="$bytes" -v s="$(stat -c %s "$3")" '{
        printf "%-20s: %6.2f s wall %6.2f s CPU  %6.1f MB/s  output %.2f MB\n", l, $1, $2 + $3,
               b / 1e6 / $1, s / 1e6 }' "$2"
}
echo "input: $files files, $(awk -v b="$bytes" 'BEGIN {printf "%.1f", b / 1e6}') MB, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
report "kovpack (release)" "$work/release.time" "$work/package.bin"
report "kovpack --fast -j 1" "$work/fast.time" "$work/package-fast.bin"
report "zip -r -6" "$work/zip.time" "$work/tree.zip"
paste "$work/release.time" "$work/fast.time" "$work/zip.time" | awk '{
    printf "zip / kovpack: release %.2f wall, %.2f CPU; --fast -j 1 %.2f wall, %.2f CPU\n",
           $7 / $1, ($8 + $9) / ($2 + $3), $7 / $4, ($8 + $9) / ($5 + $6) }'
