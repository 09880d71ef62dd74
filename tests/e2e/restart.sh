# The end of a run and the restart on the test machine: Windows restarts only when the user
# (or the answer file) agreed to it, never after a fatal error, whatever -R or a deferred file
# asked for; the decompression library is unloaded before its file is deleted, and the log's
# delete lines match the disk. The restart call is recorded by the helpers (lib.sh), never made.
. "$KOV_SRC/tests/e2e/lib.sh"
. "$KOV_SRC/tests/e2e/wholerun_lib.sh"
KOV_TIMEOUT=${KOV_TIMEOUT:-150}
[ -f "$DEMO_DIR/SETUP.EXE" ] || fail "no $DEMO_DIR/SETUP.EXE (make demo-package)"

# Runs a program through launch.exe (with the robot when RULES is not empty) and sets EXIT.
EXIT=
launch() {   # RULES PROGRAM ARGS...
    local rules=$1; shift
    rm -f "$KOV_C/exit.txt"
    if [ -n "$rules" ]; then
        ROBOT_WATCH=setupthp.exe,SETUP.EXE run_with_robot "$rules" "$KOV_WIN/launch.exe" --out 'C:\exit.txt' "$@"
    else
        run_plain "$KOV_WIN/launch.exe" --out 'C:\exit.txt' "$@"
    fi
    EXIT=$(tr -d '\r' <"$KOV_C/exit.txt" 2>/dev/null | sed -n 's/^exit=//p')
    [ -n "$EXIT" ] || fail "no exit code from $*"
}
expect_exit() { [ "$EXIT" = "$1" ] || fail "$2: exit code $EXIT, not $1"; note "$2: exit code $EXIT"; }
expect_restarts() { [ "$RESTARTS" = "$1" ] || fail "$2: $RESTARTS restart calls, not $1"; }
fresh() {   # SETUP-FILE
    machine_reset --registry
    rm -f "$KOV_C/setup.log" "$KOV_C/chained.log"
    start_progman
    put_file "$1" 'D:\SETUP.EXE'
}
# The decompression library's file is gone, and no log line says otherwise.
library_gone() {   # LOG
    assert_missing 'C:\Kov30I\dunzip32.dll'
    ! machine_file "$1" | grep -qiF -e 'Could not remove C:\Kov30I\dunzip32.dll' \
        -e 'Could not delete file C:\Kov30I\dunzip32.dll' || fail "$1 says dunzip32.dll stayed"
}

note "a good install with -R: the restart question, agreed: one restart call; the library deleted"
fresh "$DEMO_DIR/SETUP.EXE"
run_setup 'text "Redémarrer &maintenant" => press 408
'"$DEFAULT_RULES" -M -R
find_log 'C:\Kov30I\setup.log'
assert_robot_saw 'KOV a été installé.'
expect_restarts 1 "restart agreed"
assert_log_line 'Restarting Windows' "$LOG"
assert_log_line 'Deleted file C:\Kov30I\dunzip32.dll' "$LOG"
library_gone "$LOG"

note "a fatal error in the migration (22) with -R: the error box, no restart; the library gone"
printf 'not a database' >"$KOV_OUT/bad.idx"
make_setup "$KOV_OUT/BAD22.EXE" "+idb\\main.idx=$KOV_OUT/bad.idx"
fresh "$KOV_OUT/BAD22.EXE"
run_setup "$DEFAULT_RULES" -M -R
expect_restarts 0 "fatal error 22"
assert_robot_saw 'Erreur (n° 22) détectée'
assert_robot_not_saw 'Redémarrer'
assert_log_line 'Fatal error #22'
assert_log_line 'Windows not restarted: nobody agreed to it'
library_gone 'C:\setup.log'

note "the same unattended, Restart = never: exit 22 and no restart"
fresh "$KOV_OUT/BAD22.EXE"
printf '%s\r\n' '[Install]' 'Restart = never' >"$KOV_C/answers.ini"
launch '' 'D:\SETUP.EXE' -U 'C:\answers.ini' -M -R
expect_exit 22 "unattended fatal error 22"
expect_restarts 0 "unattended fatal error 22"
library_gone 'C:\setup.log'

note "the library's disk full (1028), Cancel, with -R: 226 starts the Windows 3.1 installer, which no restart ends"
# Started from C: so that launch.exe reads this process's own exit code.
make_setup "$KOV_OUT/FULL.EXE" Win31FallbackProgram=WIN31.EXE "+dunzip32.dll=$KOV_WIN/dunzip_full.dll"
fresh "$KOV_OUT/FULL.EXE"
put_file "$KOV_OUT/FULL.EXE" 'C:\SETUP.EXE'
put_file "$KOV_WIN/chained.exe" 'C:\WIN31.EXE'
launch 'text "Libérez de l" => press 2
text "pour Windows 3.1" => press 413
'"$DEFAULT_RULES" 'C:\SETUP.EXE' -M -R
expect_restarts 0 "library disk full"
# The offer takes the place of the error box; the exit code still says the install failed.
expect_exit 1028 "library disk full"
assert_robot_saw 'Souhaitez-vous installer KOV 3.0i pour Windows 3.1 ?'
assert_robot_not_saw 'Erreur (n'
find_log 'C:\Kov30I\setup.log'
assert_log_has 'Decompressor status 28 for ' "$LOG"
assert_log_line 'Executing app: C:\WIN31.EXE' "$LOG"
assert_log_line 'Windows not restarted: nobody agreed to it' "$LOG"
for i in $(seq 50); do [ -s "$KOV_C/chained.log" ] && break; sleep 0.2; done
tr -d '\r' <"$KOV_C/chained.log" | grep -qF 'WIN31.EXE|C:\WIN31.EXE |' || fail "fallback installer not started"
rm -f "$KOV_C/SETUP.EXE" "$KOV_C/WIN31.EXE"
note "ok"
