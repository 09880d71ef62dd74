# The whole run on the test machine, started as a user starts it: D:\SETUP.EXE on the
# CD-ROM, the relaunch from a temporary copy, the wizard answered by the robot, the closing
# phase. A fresh install, an install beside an earlier one, an in-place install through
# Afficher, and -D.
. "$KOV_SRC/tests/e2e/lib.sh"
. "$KOV_SRC/tests/e2e/wholerun_lib.sh"
KOV_TIMEOUT=${KOV_TIMEOUT:-180}
[ -f "$DEMO_DIR/SETUP.EXE" ] || fail "no $DEMO_DIR/SETUP.EXE (make demo-package)"

note "fresh install from D:"
machine_reset --registry
mkdir -p "$KOV_C/RECYCLED"   # the temporary copy goes there when the folder exists
start_progman
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
run_setup "$DEFAULT_RULES" -M
assert_exists 'C:\RECYCLED\setupthp.exe'
grep -q 'process="setupthp.exe"' "$ROBOT_LOG" || fail "the wizard did not run in the temporary copy"
find_log 'C:\Kov30I\setup.log'
assert_log_line 'Opt: Install file = D:\SETUP.EXE' "$LOG"
assert_log_line 'Path C:\Kov30I OK' "$LOG"
assert_log_line 'Using modem defaults' "$LOG"
assert_robot_saw 'Vous pouvez utiliser KOV'
assert_robot_not_saw 'Les paramètres de la version antérieure'   # 213, not 214
assert_exists 'C:\Kov30I\kov.exe'
assert_exists 'C:\Kov30I\IDB\MAIN.IDX'
assert_exists 'C:\Kov30I\VERSION.INF'
grep -q 'CreateGroup(KOV)' "$PM_LOG" || fail "no group made"
assert_exists 'C:\WINDOWS\Menu Démarrer\Programmes\KOV\KOV 3.0i avec IE 4.0.lnk'
[ "$(tr -d '\r' <"$(host_path 'C:\WINDOWS\win.ini')" | grep -c '^Installed=int')" = 1 ] ||
    fail "no profile mark"
"$KOVDB" dump "$(host_path 'C:\Kov30I\IDB\MAIN.IDX')" | grep -qi 'record 0x1400011b' ||
    fail "the new database does not hold its folder"

note "beside an earlier installation: C:\\Kov30I exists, the new one goes to C:\\Kov30IA"
machine_reset --registry
start_progman
lay_earlier_install 'C:\Kov30I'
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
run_setup "$DEFAULT_RULES" -M
find_log 'C:\Kov30IA\setup.log'
assert_log_line 'Path C:\Kov30I exists' "$LOG"
assert_log_line 'Path C:\Kov30IA OK' "$LOG"
assert_log_has 'Prof = ' "$LOG"
assert_no_log_line 'Using modem defaults' "$LOG"
assert_robot_saw 'Les paramètres de la version antérieure ont été transférés'
# The earlier installation's port (COM3) is the new one's.
[ "$("$KOVDB" get "$(host_path 'C:\Kov30IA\IDB\MAIN.IDX')" 0x14000015 | od -An -tx1 | tr -d ' ')" = 00000003 ] ||
    fail "the port was not carried over"
assert_log_line 'Prof = , si = 0, port = COM3' "$LOG"
assert_log_line 'Converted passwords (1 names)' "$LOG"
assert_exists 'C:\Kov30I\WKOV.EXE'

note "in place through Afficher: both folders confirmed, the destination typed as the earlier one"
machine_reset --registry
start_progman
lay_earlier_install 'C:\Kov30I'
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
run_setup '# welcome: Afficher
id 401 id 402 => press 402
# earlier folder (206): keep it
id 501 id 409 text "Vous avez une version antérieure" => press 408
# destination (208): the earlier folder
id 501 id 409 text "Emplacement futur" => type 501 "C:\Kov30I" press 408
'"$DEFAULT_RULES" -M
find_log 'C:\Kov30I\setup.log'
assert_log_line 'Old path changed: C:\KOV30I' "$LOG"
assert_log_line 'Dest path changed: C:\KOV30I' "$LOG"
assert_robot_saw 'Les paramètres de la version antérieure ont été transférés'
assert_missing 'C:\Kov30IA'
[ "$("$KOVDB" get "$(host_path 'C:\Kov30I\IDB\MAIN.IDX')" 0x14000015 | od -An -tx1 | tr -d ' ')" = 00000003 ] ||
    fail "the port was not kept"

note "-D: no group, no shortcut, the profile mark all the same"
machine_reset --registry
start_progman
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
run_setup "$DEFAULT_RULES" -M -D
find_log 'C:\Kov30I\setup.log'
assert_exists 'C:\Kov30I\kov.exe'
! grep -q 'CreateGroup' "$PM_LOG" || fail "a group was made under -D"
assert_missing 'C:\WINDOWS\Menu Démarrer\Programmes\KOV'
assert_robot_not_saw 'Vous pouvez utiliser KOV'
[ "$(tr -d '\r' <"$(host_path 'C:\WINDOWS\win.ini')" | grep -c '^Installed=int')" = 1 ] ||
    fail "no profile mark under -D"

note "a fatal error in the migration: its number in the log and the box, the log on C:, nothing chained"
machine_reset --registry
rm -f "$KOV_C/setup.log"
printf 'not a database' >"$KOV_OUT/bad.idx"
make_setup "$KOV_OUT/SETUP.EXE" "+idb\\main.idx=$KOV_OUT/bad.idx"
put_file "$KOV_OUT/SETUP.EXE" 'D:\SETUP.EXE'
run_setup "$DEFAULT_RULES" -M -D
assert_robot_saw 'Erreur (n° 22) détectée'
assert_log_line 'Fatal error #22'
assert_log_line 'Nothing installed: no version file and no chained programs'
assert_missing 'C:\Kov30I\VERSION.INF'
assert_robot_not_saw 'Vous pouvez utiliser KOV'

note "client update mode: no closing notice of this edition, and the client started from its folder"
machine_reset --registry
rm -f "$KOV_OUT/SETUP.EXE"
make_setup "$KOV_OUT/SETUP.EXE" ClientUpdateMode=1
put_file "$KOV_OUT/SETUP.EXE" 'D:\SETUP.EXE'
run_setup "$DEFAULT_RULES" -M -D
find_log 'C:\Kov30I\setup.log'
for i in $(seq 50); do [ -s "$(host_path 'C:\Kov30I\kovrun.log')" ] && break; sleep 0.2; done
run=$(machine_file 'C:\Kov30I\kovrun.log') || fail "the client was not started"
grep -qxF 'installation: C:\Kov30I' <<<"$run" || fail "client: $run"
grep -qxF 'version: 139.108' <<<"$run" || fail "client read no version: $run"
machine_reset
