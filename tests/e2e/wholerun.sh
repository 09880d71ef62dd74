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
start_progman
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
run_setup "$DEFAULT_RULES" -M
find_log 'C:\Kov30I\setup.log'
assert_log_line 'Opt: Install file = D:\SETUP.EXE' "$LOG"
assert_log_line 'Path C:\Kov30I OK' "$LOG"
assert_log_line 'Using modem defaults' "$LOG"
assert_robot_saw 'Vous pouvez utiliser KOV'
assert_exists 'C:\Kov30I\kov.exe'
assert_exists 'C:\Kov30I\IDB\MAIN.IDX'
assert_exists 'C:\Kov30I\VERSION.INF'
grep -q 'CreateGroup(KOV)' "$PM_LOG" || fail "no group made"
