# The uninstaller on the test machine: an installed client laid out with its record, taken
# back by RM_KOV.EXE with the robot confirming, compared with the machine before, after the
# restart that runs the deferred delete. Then a second run, files deleted by hand, and the
# removal of the user's data on request.
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset --registry
DEST='C:\Kov30I'
HELP="$KOV_C/windows/help/Windows.cnt"
ROBOT_WATCH=RMKOVTMP.EXE

# Files with size and contents, the client's registry areas, and WIN.INI. Files that Wine
# itself rewrites (its registry hives, its logs, its own keys) are not the install's business.
snapshot() {
    local out=$KOV_OUT/snapshot-$1
    mkdir -p "$out"
    (cd "$KOV_C" && find . -path ./windows/logs -prune -o -type f -printf '%p %s\n' -o -type d -printf '%p/\n' |
        grep -v -e '^\./windows/temp/' | LC_ALL=C sort) >"$out/files"
    local key
    for key in 'HKLM\Software' 'HKCU\Software' 'HKCU\AppEvents'; do
        "$KOV_SRC/tests/machine/wine-run" reg query "$key" /s 2>/dev/null | tr -d '\r' |
            awk '/^HKEY_/ { skip = ($0 ~ /\\Software\\Wine(\\|$)/) } !skip && NF' >>"$out/registry"
    done
    tr -d '\r' <"$KOV_C/windows/win.ini" >"$out/win.ini"
    md5sum "$HELP" | cut -d' ' -f1 >"$out/help"
}

# What is different, apart from the lines named (grep -v -e patterns).
compare() {
    local from=$1 to=$2 kind; shift 2
    for kind in files registry win.ini help; do
        diff "$KOV_OUT/snapshot-$from/$kind" "$KOV_OUT/snapshot-$to/$kind" | grep '^[<>]' |
            grep -iv "$@" >"$KOV_OUT/diff-$kind" || true
        [ -s "$KOV_OUT/diff-$kind" ] && { cat "$KOV_OUT/diff-$kind" >&2; fail "$kind differ between $from and $to"; }
    done
    return 0
}

# The Program Manager peer makes the group's folder and its item, and drops them again.
start_progman() {
    PM_LOG=$KOV_OUT/progman-$KOV_RUNS.log
    progman_peer "$PM_LOG" 120000
}

install() {
    start_progman
    run_with_robot 'class "#32770" => press 2' "$KOV_WIN/kovlayout.exe" "$DEST" "$(win_path_of_host "$KOV_WIN/RM_KOV.EXE")"
    assert_robot_not_saw 'WINDOW'
    grep -q 'name="CreateGroup" args="KOV" result=ok' "$PM_LOG" || fail "no group made"
    [ "$RUN_STATUS" = 0 ] || fail "layout failed: $(cat "$KOV_OUT/run-$KOV_RUNS.out")"
    assert_exists 'C:\Kov30I\RM_KOV.LST'
    grep -q ':include kov95f.cnt' "$HELP" || fail "help contents not merged"
    "$KOV_SRC/tests/machine/wine-run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavelin Online' \
        2>/dev/null | grep -q 'RM_KOV.EXE' || fail "no uninstall entry"
}

restart() { "$KOV_SRC/tests/machine/wine-run" wineboot --restart >/dev/null 2>&1; "$KOV_SRC/tests/machine/wine-run" wineboot --end-session >/dev/null 2>&1 || true; }

CONFIRM='caption "Désinstallation de KOV" id 102 => press 6
text "supprimé" => press 1
class "#32770" => press 1'

# The system's help contents, which the install adds the client's lines to.
mkdir -p "$(dirname "$HELP")"
printf ':Base windows.hlp\r\n1 Aide de Windows\r\n' >"$HELP"

note "install, then uninstall keeping the user's data"
rm -f "$KOV_C/windows/RM_KOV.LOG" "$KOV_C/windows/wininit.ini" "$KOV_C/windows/wininit.bak"
snapshot before
install
snapshot installed
run_with_robot "$CONFIRM" 'C:\Kov30I\RM_KOV.EXE'
assert_robot_saw 'CONTROL id=102 class="Button" text="Supprimer aussi mes données personnelles'
assert_robot_saw 'Vos données personnelles ont été conservées'
log=$(machine_file 'C:\WINDOWS\RM_KOV.LOG') || fail "no RM_KOV.LOG"
grep -q 'Done: .* 0 failed' <<<"$log" || { echo "$log" >&2; fail "the uninstall reports failures"; }
grep -qi 'wininit' <<<"$log" || fail "no deferred delete in the log"
assert_exists 'C:\WINDOWS\TEMP\RMKOVTMP.EXE'
grep -q 'name="DeleteGroup" args="KOV" result=ok' "$PM_LOG" || { cat "$PM_LOG" >&2; fail "group not deleted"; }
grep -q 'Program group KOV removed' <(machine_file 'C:\WINDOWS\RM_KOV.LOG') || fail "group removal not logged"
stop_windows
restart
assert_missing 'C:\WINDOWS\TEMP\RMKOVTMP.EXE'
snapshot after
# Kept on purpose: the user's data (the database and its folders), the uninstaller's log and
# wininit.bak, which the start-up pass makes of the wininit.ini it has run.
compare before after -e ' ./kov30i/$' -e ' ./kov30i/idb/' -e ' ./kov30i/download/$' \
    -e ' ./kov30i/organize/$' -e ' ./windows/rm_kov.log ' -e ' ./windows/wininit.bak '
note "kept: $(cd "$KOV_C" && find Kov30I | tr "\n" " ")"

note "uninstall again: nothing to do"
cp "$KOV_WIN/RM_KOV.EXE" "$(host_path "$DEST")/RM_KOV.EXE"
run_with_robot 'text "Il n''y a rien" => press 1
class "#32770" => close' 'C:\Kov30I\RM_KOV.EXE'
assert_robot_saw "Aucune installation de KOV"
grep -q 'nothing to uninstall' <(machine_file 'C:\WINDOWS\RM_KOV.LOG') || fail "second run not logged"
rm -rf "$(host_path "$DEST")"

note "files deleted by hand, a record cut short, user data removed on request"
install
rm -f "$(host_path 'C:\Kov30I\KOV.EXE')" "$(host_path 'C:\Kov30I\GOTO.INI')"
printf 'le courrier\r\n' >"$(host_path 'C:\Kov30I\DOWNLOAD')/LETTRE.TXT"
record=$(host_path 'C:\Kov30I\RM_KOV.LST')
grep -av '^END' "$record" >"$record.cut" && mv "$record.cut" "$record"
run_with_robot 'text "incomplète" => press 6
caption "Désinstallation de KOV" id 102 => check 102 press 6
text "supprimé" => press 1
class "#32770" => press 1' 'C:\Kov30I\RM_KOV.EXE'
log=$(machine_file 'C:\WINDOWS\RM_KOV.LOG')
grep -q 'Already gone: C:\\Kov30I\\KOV.EXE' <<<"$log" || fail "a file deleted by hand is not logged as gone"
grep -q 'Done: .* 0 failed' <<<"$log" || { echo "$log" >&2; fail "the uninstall reports failures"; }
stop_windows
restart
snapshot after-all
compare before after-all -e ' ./windows/rm_kov.log ' -e ' ./windows/wininit.bak '

note "no temporary copy possible: the uninstaller works in place and leaves itself to the restart"
install
mkdir -p "$KOV_C/windows/temp/RMKOVTMP.EXE"
run_with_robot "$CONFIRM" 'C:\Kov30I\RM_KOV.EXE'
rmdir "$KOV_C/windows/temp/RMKOVTMP.EXE"
assert_robot_saw 'au prochain démarrage de Windows'
log=$(machine_file 'C:\WINDOWS\RM_KOV.LOG')
grep -q 'RM_KOV.EXE deleted at the next start of Windows (wininit.ini): yes' <<<"$log" || { echo "$log" >&2; fail "no deferred delete of the uninstaller"; }
grep -q 'Done: .* 0 failed' <<<"$log" || { echo "$log" >&2; fail "the uninstall reports failures"; }
assert_exists 'C:\Kov30I\RM_KOV.EXE'
stop_windows
restart
assert_missing 'C:\Kov30I\RM_KOV.EXE'
snapshot in-place
# The start-up pass deletes files only: the emptied destination folder stays.
compare before in-place -e ' ./windows/rm_kov.log ' -e ' ./windows/wininit.bak ' -e ' ./kov30i/$' \
    -e ' ./kov30i/idb/' -e ' ./kov30i/download/$' -e ' ./kov30i/organize/$'

# The real thing: the demo SETUP.EXE from the CD-ROM through the whole run, then RM_KOV.EXE.
if [ -f "$KOV_SRC/tests/e2e/wholerun_lib.sh" ] && [ -f "$KOV_SRC/build/demo/SETUP.EXE" ]; then
    . "$KOV_SRC/tests/e2e/wholerun_lib.sh"
    KOV_TIMEOUT=180
    note "a whole install from D:, then the uninstaller, removing the user's data"
    stop_windows
    machine_reset --registry
    mkdir -p "$(dirname "$HELP")" "$KOV_C/RECYCLED"
    printf ':Base windows.hlp\r\n1 Aide de Windows\r\n' >"$HELP"
    rm -f "$KOV_C/windows/RM_KOV.LOG" "$KOV_C/windows/wininit.ini" "$KOV_C/windows/wininit.bak"
    put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
    snapshot before-run
    start_progman
    ROBOT_WATCH=setupthp.exe
    run_setup "$DEFAULT_RULES" -M
    assert_exists 'C:\Kov30I\RM_KOV.LST'
    assert_exists 'C:\Kov30I\RM_KOV.EXE'
    grep -q ':include kov95f.cnt' "$HELP" || fail "help contents not merged"
    snapshot installed-run
    ROBOT_WATCH=RMKOVTMP.EXE
    run_with_robot 'caption "Désinstallation de KOV" id 102 => check 102 press 6
text "supprimé" => press 1
class "#32770" => press 1' 'C:\Kov30I\RM_KOV.EXE'
    log=$(machine_file 'C:\WINDOWS\RM_KOV.LOG') || fail "no RM_KOV.LOG"
    grep -q 'Done: .* 0 failed' <<<"$log" || { echo "$log" >&2; fail "the uninstall reports failures"; }
    stop_windows
    restart
    snapshot after-run
    # Left on purpose: the uninstaller's log and wininit.bak, the temporary copy of the CD-ROM
    # run, and the system files the install put in the system folder.
    compare before-run after-run -e ' ./windows/rm_kov.log ' -e ' ./windows/wininit.bak ' \
        -e ' ./recycled/setupthp.exe ' -e ' ./windows/system/kov' -e ' ./windows/system/pppmac.vxd '
fi
note "ok"
