# The unattended install (-U) and the exit codes, on the test machine. An install from the
# answer file lands exactly what the robot's install with the same choices lands (tree,
# records, registry, win.ini, group and shortcuts); then each exit code from a real case,
# read through launch.exe as Windows reports it. The unattended runs have no robot: a run
# that asked anything would wait until the time runs out.
. "$KOV_SRC/tests/e2e/lib.sh"
. "$KOV_SRC/tests/e2e/wholerun_lib.sh"
KOV_TIMEOUT=120
[ -f "$DEMO_DIR/SETUP.EXE" ] || fail "no $DEMO_DIR/SETUP.EXE (make demo-package)"

# What an install left: files with sizes (its own log aside), the client's registry areas,
# win.ini, the records of the new database, the install record, the Program Manager calls.
snapshot() {   # NAME DEST
    local out=$KOV_OUT/snapshot-$1 dest; dest=$(host_path "$2")
    mkdir -p "$out"
    (cd "$KOV_C" && find . -path ./windows/logs -prune -o -type f -printf '%p %s\n' -o -type d -printf '%p/\n' |
        grep -v -e '^\./windows/temp/' -e '/setup\.log ' -e '^\./exit\.txt ' -e '^\./answers\.ini ' |
        LC_ALL=C sort) >"$out/files"
    local key
    for key in 'HKLM\Software' 'HKCU\Software' 'HKCU\AppEvents'; do
        "$KOV_SRC/tests/machine/wine-run" reg query "$key" /s 2>/dev/null | tr -d '\r' |
            awk '/^HKEY_/ { skip = ($0 ~ /\\Software\\Wine(\\|$)/) } !skip && NF' >>"$out/registry"
    done
    tr -d '\r' <"$KOV_C/windows/win.ini" >"$out/win.ini"
    "$KOVDB" dump "$dest/IDB/MAIN.IDX" >"$out/records" 2>&1
    tr -d '\r' <"$dest/RM_KOV.LST" >"$out/record"
    grep -o 'name="[A-Za-z]*" args="[^"]*"' "$PM_LOG" >"$out/progman"
}

# Runs a program through launch.exe and sets EXIT to the code Windows reports.
EXIT=
launch() {   # PROGRAM ARGS...
    rm -f "$KOV_C/exit.txt"
    run_plain "$KOV_WIN/launch.exe" --out 'C:\exit.txt' "$@"
    EXIT=$(tr -d '\r' <"$KOV_C/exit.txt" 2>/dev/null | sed -n 's/^exit=//p')
    [ -n "$EXIT" ] || fail "no exit code from $*: $(cat "$KOV_C/exit.txt" 2>/dev/null)"
}
expect_exit() {   # CODE WHAT
    [ "$EXIT" = "$1" ] || { machine_file 'C:\setup.log' >&2 2>/dev/null; fail "$2: exit code $EXIT, not $1"; }
    note "$2: exit code $EXIT"
}
answers() { printf '%s\r\n' "$@" >"$KOV_C/answers.ini"; }

fresh_machine() {
    stop_windows
    machine_reset --registry
    start_progman
    lay_earlier_install 'C:\Kov30I'
    put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
}

note "the robot's install: every default, without the modem search"
fresh_machine
run_setup "$DEFAULT_RULES" -M
assert_exists 'C:\Kov30IA\RM_KOV.LST'
snapshot robot 'C:\Kov30IA'

note "the same choices from an answer file, from the CD-ROM: the first process waits for its copy"
fresh_machine
# What the first install put in the Windows folder goes too, or the second would find it
# there and not count it as its own.
tr -d '\r' <"$KOV_OUT/snapshot-robot/record" | awk -F'\t' '$1 == "FILE" && tolower($2) ~ /^c:\\windows\\/ { print $2 }' |
    while IFS= read -r f; do rm -f "$(host_path "$f")"; done
answers '; the robot'"'"'s choices' '[Install]' 'DestDir = C:\Kov30IA' 'PreviousDir = C:\Kov30I' \
    'PrintGuide = no' 'StartMenu = yes' 'AddOns = no' 'Restart = never' '[Modem]' 'Mode = skip'
launch 'D:\SETUP.EXE' -U 'C:\answers.ini'
expect_exit 0 "installed"
snapshot unattended 'C:\Kov30IA'
for kind in files registry win.ini records record progman; do
    diff "$KOV_OUT/snapshot-robot/$kind" "$KOV_OUT/snapshot-unattended/$kind" >"$KOV_OUT/diff-$kind" ||
        { cat "$KOV_OUT/diff-$kind" >&2; fail "$kind differ between the robot's install and the unattended one"; }
done
LOG='C:\Kov30IA\setup.log'
assert_log_line 'Opt: Unattended, answers from C:\answers.ini' "$LOG"
assert_log_line 'Answer file: destination folder = C:\Kov30IA' "$LOG"
assert_log_line 'Answer file: shortcut choice: StartMenu = yes: OK' "$LOG"
assert_log_line 'Default: move the earlier downloads: Yes' "$LOG"
assert_log_line 'Exit code 0' "$LOG"
# The relaunched copy ran it: the package came from the CD-ROM file.
assert_log_line 'Opt: Install file = D:\SETUP.EXE' "$LOG"

note "the same setup again over a newer version (the client updated itself to 140.0): a question without a safe answer"
rm -f "$KOV_C/setup.log"
"$KOVDB" set "$(host_path 'C:\Kov30IA\IDB\MAIN.IDX')" 0x14000006 --hex 008c0000 >/dev/null
launch 'D:\SETUP.EXE' -U -M
expect_exit 65539 "newer version installed"
assert_log_has 'Unattended: newer version installed has no safe answer' 'C:\setup.log'
assert_missing 'C:\Kov30IB'

note "in place twice over a read-only database: the OLD.DB the first run leaves never replaces what the user wrote since"
fresh_machine
chmod 0444 "$(host_path 'C:\Kov30I\IDB\MAIN.IDX')"
answers '[Install]' 'DestDir = C:\Kov30I' 'PreviousDir = C:\Kov30I' 'PrintGuide = no' \
    'StartMenu = yes' 'AddOns = no' 'Restart = never' '[Modem]' 'Mode = skip'
launch 'D:\SETUP.EXE' -U 'C:\answers.ini'
expect_exit 0 "installed in place"
assert_exists 'C:\Kov30I\IDB\OLD.DB'
# The client writes a record the migration carries (one of the script's list).
"$KOVDB" set "$(host_path 'C:\Kov30I\IDB\MAIN.IDX')" 0x00013737 --text "CURRENT data" >/dev/null
launch 'D:\SETUP.EXE' -U 'C:\answers.ini'
expect_exit 0 "installed in place again"
got=$("$KOVDB" get "$(host_path 'C:\Kov30I\IDB\MAIN.IDX')" 0x00013737)
[ "$got" = "CURRENT data" ] || fail "the user's newest record is gone: \"$got\""
assert_log_has 'the migration went through into it' 'C:\Kov30I\setup.log'
# The leftover of the first run is kept, under a name of its own.
assert_exists 'C:\Kov30I\IDB\OLD1.DB'

note "in place, a package damaged in its last file: the earlier installation comes back as it was"
fresh_machine
earlier_tree() { (cd "$(host_path 'C:\Kov30I')" && find . -type f ! -name setup.log -exec md5sum {} + | LC_ALL=C sort); }
earlier_tree >"$KOV_OUT/earlier-before"
cp "$DEMO_DIR/SETUP.EXE" "$KOV_OUT/late.exe"
# The middle of the last entry's stored bytes: its compressed data, whose check fails.
at=$("$KOVPACK" --list "$DEMO_DIR/SETUP.EXE" 2>/dev/null | awk -F';' 'NF == 2 && $2 ~ /^ *[0-9]+ +[0-9]+ +[0-9]+ *$/ { split($2, f, " "); at = f[3] + int(f[2] / 2) } END { print at }')
[ -n "$at" ] || fail "no entry offsets from kovpack --list"
printf 'XXXXXXXX' | dd of="$KOV_OUT/late.exe" bs=1 seek="$at" conv=notrunc 2>/dev/null
put_file "$KOV_OUT/late.exe" 'D:\LATE.EXE'
rm -f "$KOV_C/setup.log"
answers '[Install]' 'DestDir = C:\Kov30I' 'PreviousDir = C:\Kov30I' 'PrintGuide = no' \
    'StartMenu = yes' 'AddOns = no' 'Restart = never' '[Modem]' 'Mode = skip'
launch 'D:\LATE.EXE' -U 'C:\answers.ini'
[ "$EXIT" != 0 ] || fail "a damaged package installed"
assert_log_has 'Earlier installation rolled back' 'C:\setup.log'
assert_log_has 'earlier installation restored' 'C:\setup.log'
assert_log_has 'Install rolled back: the earlier installation is as it was' 'C:\setup.log'
earlier_tree >"$KOV_OUT/earlier-after"
diff "$KOV_OUT/earlier-before" "$KOV_OUT/earlier-after" >&2 || fail "the earlier installation changed"
assert_missing 'C:\Kov30I\SETUPBAK'
assert_missing 'C:\setup.jnl'
note "rolled back with exit code $EXIT"

note "a bad answer file: nothing is done"
answers '[Install]' 'Restart = sometimes' 'Destination = C:\KOV'
launch 'D:\SETUP.EXE' -U 'C:\answers.ini'
expect_exit 65540 "bad answer file"
assert_log_line 'Answer file line 2: Restart = sometimes is not one of never, ask, allow'
assert_log_line 'Answer file line 3: unknown key Destination in [Install]'
rm -f "$KOV_C/setup.log"
launch 'D:\SETUP.EXE' -U 'C:\missing.ini'
expect_exit 65540 "missing answer file"

note "a fatal error: a package whose script does not begin with RS (18)"
rm -f "$KOV_C/setup.log"
cp "$DEMO_DIR/SETUP.EXE" "$KOV_OUT/bad.exe"
offset=$("$KOVPACK" --list "$DEMO_DIR/SETUP.EXE" 2>/dev/null | sed -n "s/^; PackageOffset = //p")
[ -n "$offset" ] || fail "no package offset from kovpack --list"
printf 'XX' | dd of="$KOV_OUT/bad.exe" bs=1 seek="$offset" conv=notrunc 2>/dev/null
put_file "$KOV_OUT/bad.exe" 'C:\BAD.EXE'
launch 'C:\BAD.EXE' -U
expect_exit 18 "fatal error"
assert_log_line 'Fatal error #18'

note "refused: the client is running"
rm -f "$KOV_C/setup.log"
start_window 'KOV Frame'
launch 'D:\SETUP.EXE' -U -M
stop_windows
expect_exit 65541 "client running"
assert_log_line 'The client is running'

note "memory runs out for good in the copy that installs"
rm -f "$KOV_C/setup.log"
"$KOVPACK" -q --stub "$KOV_WIN/setupkill.exe" --source "$DEMO_DIR/files" -o "$KOV_OUT/NOMEM.EXE" \
    "$KOV_SRC/demo/kov30i.kovpack" || fail "kovpack"
put_file "$KOV_OUT/NOMEM.EXE" 'D:\NOMEM.EXE'
KOV_FAIL_AT='alloc 20' launch 'D:\NOMEM.EXE' -U -M
expect_exit 65543 "out of memory"
assert_log_has 'memory low' 'C:\setup.log'

note "no answer file: every default; -R asks for a restart, which an unattended run never does"
fresh_machine
launch 'D:\SETUP.EXE' -U -M -R
expect_exit 3010 "installed, restart needed"
assert_exists 'C:\Kov30IA\KOV.EXE'
assert_log_line 'Default: restart now: Cancel' 'C:\Kov30IA\setup.log'
assert_log_line 'Exit code 3010' 'C:\Kov30IA\setup.log'

note "the interactive run returns its codes too: quit, cancel, relaunched"
fresh_machine
put_file "$DEMO_DIR/SETUP.EXE" 'C:\SETUP.EXE'
launch_with_robot 'id 401 id 402 => press 403
text "Vous avez demandé à quitter" => press 403
'"$DEFAULT_RULES" 'C:\SETUP.EXE' -M
expect_exit 65537 "quit"
# The copy of the demo package lasts a fraction of a second: the robot takes no pictures
# here, so that its click lands while the copy dialog is still up.
KOV_SHOTS=0 launch_with_robot 'text "Veuillez patienter pendant l" id 406 max 1 => press 406
text "Souhaitez-vous annuler" => press 6
'"$DEFAULT_RULES" 'C:\SETUP.EXE' -M
expect_exit 65538 "cancelled"
launch_with_robot "$DEFAULT_RULES" 'D:\SETUP.EXE' -M
expect_exit 65542 "relaunched from the CD-ROM"
note "ok"
