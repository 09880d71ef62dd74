# Nothing outside what the install made, on the test machine. A package whose Windows-folder
# delete list names the system's files is refused before anything is done; an earlier
# installation named with a trailing backslash is installed over in place, its user's data
# kept; an uninstall record with lines added by hand acts only on what the install made.
# The Windows folder (the desktop and the Start menu with it), win.ini and other programs'
# groups are the same before and after. Hostile bytes are written here, not by kovpack.
. "$KOV_SRC/tests/e2e/lib.sh"
. "$KOV_SRC/tests/e2e/wholerun_lib.sh"
KOV_TIMEOUT=180
[ -f "$DEMO_DIR/SETUP.EXE" ] || fail "no $DEMO_DIR/SETUP.EXE (make demo-package)"
PROGRAMS='C:\WINDOWS\Menu Démarrer\Programmes'
DESKTOP='C:\WINDOWS\Bureau'

# The Windows folder with every file's size and checksum (its logs, its temporary files and
# the uninstaller's log aside), and win.ini.
snapshot() {   # NAME
    local out=$KOV_OUT/snapshot-$1
    mkdir -p "$out"
    (cd "$KOV_C/windows" && find . -path ./logs -prune -o -path ./temp -prune -o -type f -print0 |
        xargs -0 md5sum | grep -v -i -e ' ./rm_kov.log$' -e ' ./wininit.bak$' | LC_ALL=C sort -k2) >"$out/files"
    (cd "$KOV_C/windows" && find . -path ./logs -prune -o -path ./temp -prune -o -type d -print |
        LC_ALL=C sort) >"$out/dirs"
    tr -d '\r' <"$KOV_C/windows/win.ini" >"$out/win.ini"
}
same_as() {   # FROM TO
    local kind
    for kind in files dirs win.ini; do
        diff "$KOV_OUT/snapshot-$1/$kind" "$KOV_OUT/snapshot-$2/$kind" >"$KOV_OUT/diff-$kind" ||
            { cat "$KOV_OUT/diff-$kind" >&2; fail "the Windows folder's $kind differ between $1 and $2"; }
    done
}
EXIT=
launch() {   # PROGRAM ARGS...
    rm -f "$KOV_C/exit.txt"
    run_plain "$KOV_WIN/launch.exe" --out 'C:\exit.txt' "$@"
    EXIT=$(tr -d '\r' <"$KOV_C/exit.txt" 2>/dev/null | sed -n 's/^exit=//p')
    [ -n "$EXIT" ] || fail "no exit code from $*"
}
answers() { printf '%s\r\n' "$@" >"$KOV_C/answers.ini"; }

# Another program's group and a user's document, which nothing of ours may touch.
other_programs() {
    local group desk
    group=$(host_path "$PROGRAMS\\Accessoires") desk=$(host_path "$DESKTOP")
    mkdir -p "$group" "$desk"
    printf 'le bloc-notes' >"$group/Bloc-notes.lnk"
    printf 'Ma these, chapitre 1' >"$desk/These.doc"
}

note "a package whose Windows-folder delete list names the system's files is refused"
stop_windows
machine_reset --registry
other_programs
# kovpack refuses these rows: the package is built with rows of the same length and the
# bytes are then written over, length prefix included, as a damaged or hostile package has them.
make_setup "$KOV_OUT/DELETES.EXE" '@WindowsDirDeletes=zzzzz' '@WindowsDirDeletes=yyyyyyyyyy'
python3 - "$KOV_OUT/DELETES.EXE" <<'PY' || fail "marker rows not found"
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
for marker, hostile in ((b"zzzzz", b"*.ini"), (b"yyyyyyyyyy", b"system\\*.*")):
    old = struct.pack("<H", len(marker)) + marker
    at = data.find(old)
    if at < 0 or data.find(old, at + 1) >= 0:
        sys.exit("marker %r not found once" % marker)
    data[at:at + len(old)] = struct.pack("<H", len(hostile)) + hostile
open(path, "wb").write(data)
PY
put_file "$KOV_OUT/DELETES.EXE" 'C:\DELETES.EXE'
snapshot before-deletes
rm -f "$KOV_C/setup.log"
launch 'C:\DELETES.EXE' -U -M
[ "$EXIT" = 5 ] || { machine_file 'C:\setup.log' >&2; fail "hostile delete list: exit code $EXIT, not 5"; }
assert_log_has 'Unsafe name in WindowsDirDeletes: *.ini' 'C:\setup.log'
assert_log_line 'Fatal error #5' 'C:\setup.log'
stop_windows
snapshot after-deletes
same_as before-deletes after-deletes
assert_missing 'C:\Kov30IA'

note "the earlier folder with a trailing backslash is the same folder: installed over in place"
stop_windows
machine_reset --registry
start_progman
lay_earlier_install 'C:\Kov30I'
earlier=$(host_path 'C:\Kov30I')
"$KOVDB" set "$earlier/IDB/MAIN.IDX" 0x00010000 --text 'carnet de Jean' >/dev/null
printf '[goto]\r\nJean=1\r\n' >"$earlier/goto.ini"
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
answers '[Install]' 'PreviousDir = C:\Kov30I' 'DestDir = C:\Kov30I\' 'PrintGuide = no' 'AddOns = no' \
    'Restart = never' '[Modem]' 'Mode = skip'
launch 'D:\SETUP.EXE' -U 'C:\answers.ini'
LOG='C:\Kov30I\setup.log'
[ "$EXIT" = 0 ] || { machine_file "$LOG" >&2; fail "in place: exit code $EXIT"; }
assert_log_line 'Dest path changed: C:\Kov30I' "$LOG"
assert_log_line 'Preparing for overwrite' "$LOG"
assert_log_line 'Old version: 3.1' "$LOG"
[ "$(tr -d '\r' <"$earlier/goto.ini")" = "$(printf '[goto]\nJean=1')" ] || fail "goto.ini was not kept"
main=$(find "$earlier" -ipath "$earlier/idb/main.idx" | head -1)
[ -n "$main" ] && [ "$("$KOVDB" get "$main" 0x00010000)" = 'carnet de Jean' ] ||
    fail "the user's record was not carried"
assert_missing 'C:\Kov30IA'

note "an uninstall record with lines added by hand: only what the install made goes"
stop_windows
machine_reset --registry
other_programs
help="$KOV_C/windows/help/Windows.cnt"
mkdir -p "$(dirname "$help")"
printf ':Base windows.hlp\r\n1 Aide de Windows\r\n' >"$help"
# An earlier version's group with its own item: it was there before, so it stays.
mkdir -p "$(host_path "$PROGRAMS\\KOV")"
printf 'KOV 2.0' >"$(host_path "$PROGRAMS\\KOV")/KOV 2.0.lnk"
snapshot before-uninstall
PM_LOG=$KOV_OUT/progman-uninstall.log
progman_peer "$PM_LOG" 120000
ROBOT_WATCH=RMKOVTMP.EXE
run_with_robot 'class "#32770" => press 2' "$KOV_WIN/kovlayout.exe" 'C:\Kov30I' "$(win_path_of_host "$KOV_WIN/RM_KOV.EXE")"
assert_robot_not_saw 'WINDOW'
[ "$RUN_STATUS" = 0 ] || fail "layout failed"
record=$(host_path 'C:\Kov30I\RM_KOV.LST')
grep -qa "^GROUP" "$record" && fail "a group that was there before is in the record"
grep -qa "^LINK.*KOV 3.0i avec IE 4.0.lnk" "$record" || fail "the item added to the group is not in the record"
printf 'Nom: Dupont\r\nNom: Martin\r\n' >"$(host_path 'C:\Kov30I\IDB')/CONTACTS.TXT"
# The record's own writer: the lines, then END with their count.
python3 - "$record" <<'PY'
import sys
path = sys.argv[1]
lines = open(path, "rb").read().split(b"\r\n")
lines = [l for l in lines if l and not l.startswith(b"END\t")]
lines += [
    b"FILE\tC:\\WINDOWS\\Bureau\\These.doc",
    b"LINK\tC:\\WINDOWS\\system.ini",
    b"FILE\tC:\\WINDOWS\\win.ini",
    b"HELP\tC:\\Kov30I\\IDB\\CONTACTS.TXT\t0\tNom: Dupont%0D%0A",
    b"PROFILE\tWIN.INI\tWKOV\tInstalled\t=x%0D%0A[windows]%0D%0Aload=evil.exe",
    b"GROUP\tAccessoires",
]
lines.append(b"END\t%d" % (len(lines) - 1))
open(path, "wb").write(b"\r\n".join(lines) + b"\r\n")
PY
run_with_robot 'caption "Désinstallation de KOV" id 102 => press 6
class "#32770" => press 1' 'C:\Kov30I\RM_KOV.EXE'
log=$(machine_file 'C:\WINDOWS\RM_KOV.LOG') || fail "no RM_KOV.LOG"
[ "$(grep -c '^Refused ' <<<"$log")" = 6 ] || { echo "$log" >&2; fail "not every added line was refused"; }
grep -q 'Done: .* 6 failed, 6 of them refused' <<<"$log" || { echo "$log" >&2; fail "the refusals are not counted"; }
grep -q 'Uninstall not complete' <<<"$log" || fail "an incomplete uninstall not said"
grep -q 'DeleteGroup' "$PM_LOG" && { cat "$PM_LOG" >&2; fail "a group was deleted"; }
[ "$(tr -d '\r' <"$(host_path 'C:\Kov30I\IDB')/CONTACTS.TXT")" = "$(printf 'Nom: Dupont\nNom: Martin')" ] ||
    fail "the address book was edited"
# The way back stays for another try: the uninstaller, its record and its entry.
assert_exists 'C:\Kov30I\RM_KOV.EXE'
assert_exists 'C:\Kov30I\RM_KOV.LST'
"$KOV_SRC/tests/machine/wine-run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavelin Online' \
    2>/dev/null | grep -q 'RM_KOV.EXE' || fail "the uninstall entry is gone"
assert_missing 'C:\Kov30I\KOV.EXE'
# The temporary copy goes at the next start of Windows, through wininit.ini.
stop_windows
"$KOV_SRC/tests/machine/wine-run" wineboot --restart >/dev/null 2>&1
"$KOV_SRC/tests/machine/wine-run" wineboot --end-session >/dev/null 2>&1 || true
snapshot after-uninstall
same_as before-uninstall after-uninstall
note "ok"
