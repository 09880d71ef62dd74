#!/usr/bin/env bash
# setup.exe is a Windows 95 program: a GUI program for subsystem 4.0 that needs no DLL beyond
# those every Windows 95 machine has, exports its two drive dialog procedures, small enough to download and to carry on a diskette
# beside its package. Read from the file alone, so it runs on every host, Wine or not.
#   pe.sh IMAGE win32|win64
# win32 is what we ship (PE32 for i386); win64 is the same sources built for the test
# machine of hosts that cannot run 32-bit programs (PE32+ for x86-64).
set -uo pipefail
exe=${1:?usage: pe.sh IMAGE win32|win64}
arch=${2:?usage: pe.sh IMAGE win32|win64}
fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*"; }

# The most the program may weigh before its package: both builds are about 155 KB; a
# quarter of a megabyte leaves room to grow and keeps most of a diskette for the package.
case "$arch" in
    win32) tools=i686-w64-mingw32 format=pei-i386 machine=i386 magic=010b limit=262144 ;;
    win64) tools=x86_64-w64-mingw32 format=pei-x86-64 machine=i386:x86-64 magic=020b limit=262144 ;;
    *) fail "unknown kind $arch" ;;
esac
[ -f "$exe" ] || fail "no $exe"
dump=$("$tools-objdump" -p "$exe") || fail "objdump cannot read $exe"
header=$("$tools-objdump" -f "$exe")
grep -q "file format $format\$" <<<"$header" || fail "not $format: $header"
grep -q "architecture: $machine," <<<"$header" || fail "not $machine: $header"
field() { awk -v k="$1" '$1 == k { print $2; exit }' <<<"$dump"; }
[ "$(field Magic)" = "$magic" ] || fail "optional header magic $(field Magic), not $magic"
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$dump" || fail "not the GUI subsystem: $(grep ^Subsystem <<<"$dump")"
[ "$(field MajorSubsystemVersion)" = 4 ] && [ "$(field MinorSubsystemVersion)" = 0 ] ||
    fail "subsystem version $(field MajorSubsystemVersion).$(field MinorSubsystemVersion), not 4.0"
allowed=' KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL COMDLG32.DLL OLE32.DLL OLEAUT32.DLL SHELL32.DLL WINSPOOL.DRV MPR.DLL VERSION.DLL MSVCRT.DLL '
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr '[:lower:]' '[:upper:]')
[ -n "$dlls" ] || fail "no imports found"
for d in $dlls; do
    [[ $allowed == *" $d "* ]] || fail "imports $d, which is no system DLL of Windows 95"
done
note "imports: $(echo $dlls)"
# The two dialog procedures are exported under their plain names, and nothing else is.
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p' <<<"$dump" | sort | tr '\n' ' ')
[ "$exports" = 'DiskSpaceDlgProc DrivesDlgProc ' ] || fail "exports: '$exports', not DiskSpaceDlgProc and DrivesDlgProc"
size=$(stat -c %s "$exe")
[ "$size" -le "$limit" ] || fail "$size bytes, more than the $limit the program may weigh"
note "$size bytes (at most $limit)"
