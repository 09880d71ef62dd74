#!/usr/bin/env bash
# Peak memory of kovpack building a package with one file of 1 GB (or SIZE_MB), and of
# `kovpack --list --verify` reading it back, with /usr/bin/time -v. The file is streamed
# through deflate in chunks, so the peak should not grow with its size.
# usage: bench/kovpack-memory.sh [SIZE_MB] [KOVPACK] [WORKDIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-1024}
kovpack=${2:-$src/build/host/kovpack}
work=${3:-$src/build/bench/kovpack-memory}
[ -x "$kovpack" ] || { echo "no kovpack at $kovpack (run make first)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed" >&2; exit 1; }

mkdir -p "$work"
big=$work/big.dat
if [ "$(stat -c %s "$big" 2>/dev/null || echo 0)" != $((size_mb << 20)) ]; then
    # Half text, half random bytes, in 1 MB blocks: compressible, but with real work to do.
    python3 - "$big" "$size_mb" <<'PY'
import os, random, sys
path, mb = sys.argv[1], int(sys.argv[2])
rng = random.Random(1997)
words = b"le la les un une des du de et pour avec dans sur votre vous modem courrier".split()
text = b" ".join(rng.choice(words) for _ in range(300000))[: 1 << 20]
with open(path, "wb") as f:
    for i in range(mb):
        f.write(text if i % 2 == 0 else os.urandom(1 << 20))
PY
fi
printf 'MZ stub' > "$work/d.dll"
cat > "$work/big.kovpack" <<EOF2
[Setup]
DefaultDestDir = C:\\Kov30I
[Files]
dunzip32.dll = d.dll
data\\big.dat = big.dat
EOF2

measure() {  # label, command...
    local label=$1; shift
    /usr/bin/time -v "$@" 2> "$work/time.txt" >/dev/null || { cat "$work/time.txt"; exit 1; }
    grep '^kovpack:' "$work/time.txt" | sed 's/^/  /' || true
    awk -v l="$label" -F': ' '/Maximum resident set size/ {rss = $2}
        /Elapsed \(wall clock\)/ {wall = $2}
        END {printf "%s: peak RSS %.1f MB, wall %s\n", l, rss / 1024, wall}' "$work/time.txt"
}
echo "input: one file of $size_mb MB"
measure "kovpack build" "$kovpack" --source "$work" -o "$work/big.bin" "$work/big.kovpack"
echo "package: $(stat -c %s "$work/big.bin") bytes"
measure "kovpack --list --verify" "$kovpack" --list --verify "$work/big.bin"
