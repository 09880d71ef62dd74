# setup.exe is a Windows 95 program: PE32 for i386, GUI subsystem 4.0, and it needs no DLL
# beyond those every Windows 95 machine has; it exports its two drive dialog procedures.
. "$KOV_SRC/tests/e2e/lib.sh"
exe=$KOV_WIN/setup.exe
[ -f "$exe" ] || fail "no $exe"
dump=$(i686-w64-mingw32-objdump -p "$exe") || fail "objdump cannot read $exe"
header=$(i686-w64-mingw32-objdump -f "$exe")
grep -q 'file format pei-i386' <<<"$header" || fail "not PE32 i386: $header"
grep -q 'architecture: i386' <<<"$header" || fail "not i386: $header"
field() { awk -v k="$1" '$1 == k { print $2; exit }' <<<"$dump"; }
[ "$(field Magic)" = 010b ] || fail "not a PE32 optional header (magic $(field Magic))"
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
