# The first steps of a run: the options it logs, and its refusal to run beside another setup
# (silently, bringing that one forward) or beside the client (with a message).
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset
put_file "$KOV_WIN/setup.exe" 'D:\SETUP.EXE'
# Whatever comes after the options (a package error, in this bare copy), OK and Cancel.
answers='caption "Installation" => press 1
class "#32770" => close'

run_with_robot "$answers" 'D:\SETUP.EXE' -C -M -X 'D:\SETUP.EXE' -T 161280
assert_log_line 'Opt: Crash mode'
assert_log_line 'Opt: Skip modem'
assert_log_line 'Opt: Install file = D:\SETUP.EXE'
# The order of the options on the command line does not matter, nor their case or dash.
machine_reset
put_file "$KOV_WIN/setup.exe" 'D:\SETUP.EXE'
run_with_robot "$answers" 'D:\SETUP.EXE' /x 'D:\SETUP.EXE' /t 161280 -crash
assert_log_line 'Opt: Crash mode'
assert_log_line 'Opt: Install file = D:\SETUP.EXE'
assert_no_log_line 'Opt: Skip modem'

# Another setup is running: it is brought forward and this one ends without a word, before
# the command line is even read (no crash-mode log).
machine_reset
put_file "$KOV_WIN/setup.exe" 'D:\SETUP.EXE'
start_window _KOVSETUP_Frame Installation
start_window Autre Autre
frame_out="$KOV_OUT/window-_KOVSETUP_Frame.out"
activations=$(grep -c ACTIVATED "$frame_out")
run_with_robot "$answers" 'D:\SETUP.EXE' -C
[ "$(robot_windows)" = 0 ] || { cat "$ROBOT_LOG" >&2; fail "a window came up beside the running setup"; }
assert_missing 'C:\setup.log'
for _ in $(seq 20); do [ "$(grep -c ACTIVATED "$frame_out")" -gt "$activations" ] && break; sleep 0.1; done
[ "$(grep -c ACTIVATED "$frame_out")" -gt "$activations" ] || fail "the running setup was not brought forward"
stop_windows

# The client is running: message 34001 in a box captioned "Installation", then the end.
for class in "KOV Frame" "KOV Frame25"; do
    machine_reset
    put_file "$KOV_WIN/setup.exe" 'D:\SETUP.EXE'
    start_window "$class" KOV
    run_with_robot "$answers" 'D:\SETUP.EXE' -C
    assert_robot_saw "text=\"Veuillez quitter KOV avant d'exécuter le programme d'installation.\""
    [ "$(robot_windows '#32770')" = 1 ] || { cat "$ROBOT_LOG" >&2; fail "expected exactly one box beside $class"; }
    grep -F 'class="#32770" caption="Installation" process="SETUP.EXE"' "$ROBOT_LOG" >/dev/null ||
        grep -Fi 'class="#32770" caption="Installation" process="setup.exe"' "$ROBOT_LOG" >/dev/null ||
        { cat "$ROBOT_LOG" >&2; fail "the box is not the setup's, captioned Installation"; }
    assert_missing 'C:\setup.log'
    stop_windows
done
