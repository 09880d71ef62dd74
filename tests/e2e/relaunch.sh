# The relaunch from a temporary copy on the test machine: from a CD-ROM folder with a blank,
# and with AlwaysCopyToTemp from a folder of C: with a blank, the copy reads the whole package
# path and installs; a temporary copy that fails (C:\RECYCLED too small, Cancel at the
# disk-full question) leaves nothing behind but its log line: the install from the CD-ROM
# ends as any other, with 213 and exit code 0, and a quit after it with 65537.
. "$KOV_SRC/tests/e2e/lib.sh"
. "$KOV_SRC/tests/e2e/wholerun_lib.sh"
KOV_TIMEOUT=${KOV_TIMEOUT:-150}
[ -f "$DEMO_DIR/SETUP.EXE" ] || fail "no $DEMO_DIR/SETUP.EXE (make demo-package)"

expect_exit() { [ "$EXIT" = "$1" ] || fail "$2: exit code $EXIT, not $1"; note "$2: exit code $EXIT"; }
fresh() {
    machine_reset --registry
    rm -f "$KOV_C/setup.log" "$KOV_C/chained.log"
    start_progman
}
# The copy that installed read the whole path, and said so.
relaunched_from() {   # PACKAGE-PATH
    find_log 'C:\Kov30I\setup.log'
    assert_exists 'C:\Kov30I\kov.exe'
    assert_log_line "Opt: Install file = $1" "$LOG"
    assert_no_log_line "Cannot open package ${1%% *}" "$LOG"
    assert_no_log_line 'Fatal error #3' "$LOG"
}

note "from a CD-ROM folder with a blank"
fresh
put_file "$DEMO_DIR/SETUP.EXE" 'D:\KOV 30I\SETUP.EXE'
# The first process ends once the copy is started; the robot waits for the copy.
launch_with_robot "$DEFAULT_RULES" 'D:\KOV 30I\SETUP.EXE' -M
expect_exit 65542 "relaunched"
relaunched_from 'D:\KOV 30I\SETUP.EXE'

note "AlwaysCopyToTemp, from a folder of C: with a blank"
fresh
make_setup "$KOV_OUT/TEMP.EXE" AlwaysCopyToTemp=1
put_file "$KOV_OUT/TEMP.EXE" 'C:\Mes documents\SETUP.EXE'
launch_with_robot "$DEFAULT_RULES" 'C:\Mes documents\SETUP.EXE' -M
expect_exit 65542 "relaunched"
relaunched_from 'C:\Mes documents\SETUP.EXE'

# C:\RECYCLED on a tmpfs far smaller than the program: the copy meets a full disk.
RECYCLED=$KOV_OUT/recycled
small_recycled() {
    mkdir -p "$RECYCLED"
    mountpoint -q "$RECYCLED" || mount -t tmpfs -o size=64k,mode=0777 kovrecycled "$RECYCLED" ||
        fail "cannot mount a small C:\\RECYCLED (run as root)"
    find "$RECYCLED" -mindepth 1 -delete
    rm -rf "$KOV_C/RECYCLED" && ln -sfn "$RECYCLED" "$KOV_C/RECYCLED"
}
trap 'stop_windows; rm -f "$KOV_C/RECYCLED"; mountpoint -q "$RECYCLED" 2>/dev/null && umount "$RECYCLED"' EXIT
CANCEL_COPY='text "Libérez de l" => press 2'

note "the temporary copy meets a full C:\\RECYCLED, Cancel: the install goes on from the CD-ROM, 213 and no 226"
fresh
small_recycled
make_setup "$KOV_OUT/FALLBACK.EXE" Win31FallbackProgram=WIN31.EXE
put_file "$KOV_OUT/FALLBACK.EXE" 'D:\SETUP.EXE'
put_file "$KOV_WIN/chained.exe" 'D:\WIN31.EXE'
launch_with_robot "$CANCEL_COPY
text \"pour Windows 3.1\" => press 413
$DEFAULT_RULES" 'D:\SETUP.EXE' -M
expect_exit 0 "installed after the failed copy"
assert_robot_saw 'Libérez de l'
assert_robot_saw 'Vous pouvez utiliser KOV'
assert_robot_not_saw 'pour Windows 3.1'
find_log 'C:\Kov30I\setup.log'
assert_log_has 'Temporary copy failed' "$LOG"
assert_log_line 'Exit code 0' "$LOG"
[ ! -s "$KOV_C/chained.log" ] || fail "the Windows 3.1 installer was started"

note "the same copy failure, then a quit at the welcome dialog: 65537"
fresh
small_recycled
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
launch_with_robot "$CANCEL_COPY
id 401 id 402 => press 403
text \"Vous avez demandé à quitter\" => press 403
$DEFAULT_RULES" 'D:\SETUP.EXE' -M -C
expect_exit 65537 "quit after the failed copy"
assert_log_line 'User exit'
note "ok"
