#!/usr/bin/env bash
# Which build of the Windows side this host tests: win32 (the i386 build on a 32-bit Wine
# prefix, what we ship) or win64 (the same sources for x86-64 on a 64-bit prefix), for
# hosts whose kernel refuses 32-bit programs. KOV_ARCH=win32|win64 forces one.
#   arch.sh          prints win32 or win64
#   arch.sh --why    prints the reason in one sentence
# The one place that decides: the Makefile, the demo and the benchmarks all ask here.
set -uo pipefail
why=0
[ "${1:-}" = --why ] && why=1
# The Makefile asks once and passes the answer and its reason on to every script it runs.
if [ $why = 1 ] && [ -n "${KOV_ARCH_WHY:-}" ] && [ -n "${KOV_ARCH:-}" ]; then
    echo "$KOV_ARCH_WHY"; exit 0
fi
say() { if [ $why = 1 ]; then echo "$2"; else echo "$1"; fi; }

case "${KOV_ARCH:-}" in
    win32) say win32 "KOV_ARCH=win32 forces the i386 build"; exit 0 ;;
    win64) say win64 "KOV_ARCH=win64 forces the 64-bit build of the same sources"; exit 0 ;;
    "") ;;
    *) echo "arch.sh: KOV_ARCH must be win32 or win64, not '$KOV_ARCH'" >&2; exit 2 ;;
esac

# The question is whether the kernel runs an i386 program at all, which does not depend on
# what is installed yet: a 93-byte i386 program that only calls exit(0) answers it.
probe=$(mktemp "${TMPDIR:-/tmp}/kov-i386.XXXXXX")
trap 'rm -f "$probe"' EXIT
python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])  # mov eax,1; xor ebx,ebx; int 0x80
base, ehsize, phsize = 0x08048000, 52, 32
entry = base + ehsize + phsize
ident = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)          # 32-bit, little-endian, version 1
header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, entry, ehsize, 0, 0, ehsize, phsize, 1, 0, 0, 0)
size = ehsize + phsize + len(code)
program = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(header + program + code)
PY
chmod +x "$probe"
if err=$("$probe" 2>&1); then
    say win32 "this host runs 32-bit programs: the i386 build on a 32-bit test machine"
else
    say win64 "this host cannot run 32-bit programs (${err##*: }); using the 64-bit build of the same sources on a 64-bit test machine"
fi
