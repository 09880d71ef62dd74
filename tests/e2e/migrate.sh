# The earlier installation on the test machine: found through the registry, win.ini and the
# walk of C:; Skip and Quit pressed by the robot during the walk; then migrated, with the new
# main database read back by kovdb. Installations are written by kovdb and by a small encoder
# of the file layout (old form, scrambled records, a damaged tail).
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset --registry
KOVDB=$KOV_HOST/kovdb
[ -x "$KOVDB" ] || fail "no $KOVDB (make host)"
migrator=$KOV_WIN/migrator.exe
CLIENT_KEY='HKLM\SOFTWARE\Tavelin Online\KOV\CurrentVersion'

# A new-form installation made by kovdb: the client program, a user list, a port.
kovdb_install() {   # FOLDER-ON-C PORT
    local dir; dir=$(host_path "$1")
    mkdir -p "$dir/IDB" && printf MZ >"$dir/WKOV.EXE"
    "$KOVDB" create "$dir/IDB/MAIN.IDX" --id 0x01000401 >/dev/null
    "$KOVDB" set "$dir/IDB/MAIN.IDX" 0x14000010 --hex 014a65616e0000000000000073656372657400000000 >/dev/null
    "$KOVDB" set "$dir/IDB/MAIN.IDX" 0x14000015 --number "$2" >/dev/null
    "$KOVDB" set "$dir/IDB/MAIN.IDX" 0x14000006 --hex 00030100 >/dev/null
}
kovdb_install 'C:\kovmig\named' 3
touch -d 2020-01-01 "$(host_path 'C:\kovmig\named\IDB\MAIN.IDX')"

# An old-form installation written byte by byte: scrambled art, a modem name with its port,
# the user list, and a tail cut short in the middle of a header.
walked=$(host_path 'C:\kovmig\disk\KOV')
mkdir -p "$walked/IDB" && printf MZ >"$walked/WKOV.EXE"
python3 - "$walked/IDB/MAIN.IDX" <<'PY'
import struct, sys
out = bytearray(b"DC" + struct.pack("<I", 0x01000401) + bytes(4))
def rec(gid, data, flags):
    global out
    out += b"RE" + struct.pack("<IHHIII", gid, len(data), flags, 0, 0, len(out)) + data
names = bytes([2]) + b"Marie".ljust(11, b"\0") + b"motdepasse".ljust(11, b"\0") \
    + "Invit\xe9    ".encode("cp1252").ljust(11, b"\0") + b"x".ljust(11, b"\0")
rec(0x14000010, names, 0x2062)
rec(0x14000015, bytes([0, 0, 0, 4]), 0x2062)
rec(0x14000006, bytes([0, 3, 0, 0]), 0x2062)
rec(0x14000048, b"Modem Rapide (COM4)", 0x2074)
rec(0x01000001, bytes(b ^ 0xA5 for b in b"art one"), 0x0270)   # scrambled
rec(0x01000002, b"art two", 0x0070)
out += b"RE" + struct.pack("<I", 0x01000003)                     # damaged tail
open(sys.argv[1], "wb").write(out)
PY
touch -d 2021-01-01 "$walked/IDB/MAIN.IDX"
# Folders enough that the walk is still going when the robot presses a button.
python3 -c 'import os, sys; [os.makedirs(f"{sys.argv[1]}/f{i}/g{j}") for i in range(80) for j in range(50)]' \
    "$(host_path 'C:\kovmig')/many"

search() {   # RULES EXPECTED-RESULT EXPECTED-FOLDER
    run_with_robot "$1" "$migrator" search
    local out="$KOV_OUT/run-$KOV_RUNS.out"
    grep -qx "RESULT=$2" "$out" && grep -qxF "FOLDER=$3" "$out" ||
        { cat "$out" >&2; fail "search: expected $2 '$3'"; }
}

note "registry"
"$KOV_SRC/tests/machine/wine-run" reg add "$CLIENT_KEY" /v AppPath /d 'C:\kovmig\named' /f >/dev/null 2>&1
search "" 1 'C:\kovmig\named'
grep -qF 'AppPath = C:\kovmig\named' "$KOV_OUT/run-$KOV_RUNS.out" || fail "registry value not used"
grep -q 'Not searching\|CFA:Time for C:\\kovmig\\disk' "$KOV_OUT/run-$KOV_RUNS.out" && fail "walked anyway"

note "profile"
"$KOV_SRC/tests/machine/wine-run" reg delete "$CLIENT_KEY" /f >/dev/null 2>&1
printf '[WKOV]\r\nAppPath=C:\\kovmig\\named\r\n' >>"$KOV_C/windows/win.ini"
search "" 1 'C:\kovmig\named'

note "walk of C:: the later installation wins"
sed -i '/^\[WKOV\]/,/^AppPath/d' "$KOV_C/windows/win.ini"
search "" 1 'C:\kovmig\disk\KOV'
grep -q 'Prof = , si = 0, port = COM4' "$KOV_OUT/run-$KOV_RUNS.out" || fail "modem settings of the walked one"

note "Skip during the walk"
search "$(cat <<'RULES'
id 404 max 1 => press 404
text "ignorer cette" => press 6
RULES
)" 0 ''
grep -q 'User aborted disk search' "$KOV_OUT/run-$KOV_RUNS.out" || fail "no abort line"
grep -qx 'QUIT=0' "$KOV_OUT/run-$KOV_RUNS.out" || fail "Skip must not quit"
assert_robot_saw 'text="&Ignorer la recherche"'

note "Quit during the walk"
search "$(cat <<'RULES'
id 404 max 1 => press 403
id 407 => press 403
RULES
)" 0 ''
grep -qx 'QUIT=1' "$KOV_OUT/run-$KOV_RUNS.out" || fail "Quit did not quit"
grep -q 'User exit' "$KOV_OUT/run-$KOV_RUNS.out" || fail "no User exit"

note "install, then migration from the walked installation"
# The new installation comes from a package through the install step, as in a setup run:
# the uninstaller and a main database holding its version and one art record of its own.
KOVPACK=$KOV_HOST/kovpack
[ -x "$KOVPACK" ] || fail "no $KOVPACK (make host)"
staged=$KOV_OUT/newfiles
rm -rf "$staged" && mkdir -p "$staged/IDB"
cp "$KOV_WIN/dunzip32.dll" "$staged/" && printf MZ >"$staged/RM_KOV.EXE"
"$KOVDB" create "$staged/IDB/MAIN.IDX" --id 0x01000401 >/dev/null
"$KOVDB" set "$staged/IDB/MAIN.IDX" 0x14000006 --hex 00030000 >/dev/null
"$KOVDB" set "$staged/IDB/MAIN.IDX" 0x01000002 --text "new art" --type p >/dev/null
cat >"$KOV_OUT/new.kovpack" <<'DESC'
[Setup]
DefaultDestDir = C:\kovmig\new
QuickRefFile = quickref.txt
DbVersion = 139.108

[Files]
dunzip32.dll
RM_KOV.EXE
IDB\MAIN.IDX
DESC
"$KOVPACK" -q --source "$staged" -o "$KOV_OUT/new.bin" "$KOV_OUT/new.kovpack" ||
    fail "kovpack could not build the new installation's package"
put_file "$KOV_OUT/new.bin" 'C:\kovmig\NEW.BIN'
run_with_robot "" "$KOV_WIN/installrun.exe" 'C:\kovmig\NEW.BIN' 'C:\kovmig\new' 'C:\kovmig\install.log'
[ "$RUN_STATUS" = 0 ] || { cat "$(host_path 'C:\kovmig\install.log')" >&2; fail "install ended with $RUN_STATUS"; }
new=$(host_path 'C:\kovmig\new')
cmp -s "$staged/IDB/MAIN.IDX" "$new/IDB/MAIN.IDX" || fail "the installed main database is not the package's"
run_with_robot "$(cat <<'RULES'
text "DOWNLOAD" => press 6
id 505 => press 1
RULES
)" "$migrator" migrate 'C:\kovmig\new' 'C:\kovmig\disk\KOV'
out="$KOV_OUT/run-$KOV_RUNS.out"
grep -qx 'RESULT=1' "$out" && grep -qx 'TRANSFERRED=1' "$out" || { cat "$out" >&2; fail "migration"; }
assert_robot_saw 'ACTION press 6'
# The shortcut choice (dialog 217) closes the migration on Windows 95.
assert_robot_saw 'CONTROL id=505'
[ -f "$KOV_C/windows/Bureau/KOV.lnk" ] || fail "no desktop shortcut from the shortcut choice"
list=$("$KOVDB" list "$new/IDB/MAIN.IDX")
for line in '0x01000001 p 7' '0x01000002 p 7' '0x14000032 b 19' '0x14000048 t 12' \
            '0x14000015 b 4' '0x140000d1 b 4' '0x1400011b b 13'; do
    grep -qixF "$line" <<<"$list" || { echo "$list" >&2; fail "kovdb list lacks: $line"; }
done
[ "$("$KOVDB" get "$new/IDB/MAIN.IDX" 0x01000001)" = "art one" ] || fail "scrambled art not carried plain"
[ "$("$KOVDB" get "$new/IDB/MAIN.IDX" 0x01000002)" = "new art" ] || fail "the new art was replaced"
[ "$("$KOVDB" get "$new/IDB/MAIN.IDX" 0x14000048)" = "Modem Rapide" ] || fail "modem name not cut"
grep -q 'Converted passwords (1 names)' "$out" || fail "password list"
"$KOV_SRC/tests/machine/wine-run" reg query "$CLIENT_KEY" /v AppPath 2>/dev/null | grep -qF 'C:\kovmig\new' ||
    fail "AppPath not in HKLM"
"$KOV_SRC/tests/machine/wine-run" reg query 'HKCU\SOFTWARE\Tavelin Online\KOV\CurrentVersion' /v AppPath 2>/dev/null |
    grep -qF 'C:\kovmig\new' || fail "AppPath not in HKCU"
tr -d '\r' <"$KOV_C/windows/win.ini" | grep -qx 'AppPath=C:\\kovmig\\new' || fail "no AppPath in win.ini"
"$KOV_SRC/tests/machine/wine-run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavelin Online' \
    /v UninstallString 2>/dev/null | grep -qF 'C:\kovmig\new\RM_KOV.EXE' || fail "no uninstall entry"
machine_reset --registry
