# The closing phase's chained programs on the test machine, each played by the chained
# peer: browser installers and PPTWARN.EXE, an add-on asking for a restart (and the restart
# call itself, recorded), the next diskette's program, the way out of dialog 219, and the
# network adapter library's variants.
. "$KOV_SRC/tests/e2e/lib.sh"
. "$KOV_SRC/tests/e2e/wholerun_lib.sh"
KOV_TIMEOUT=${KOV_TIMEOUT:-180}
[ -f "$DEMO_DIR/SETUP.EXE" ] || fail "no $DEMO_DIR/SETUP.EXE (make demo-package)"
CHAINED=$KOV_WIN/chained.exe
BROWSER_KEY='HKLM\Software\Microsoft\Internet Explorer'

# Lines of the peer's log for one program: chained_lines NAME
chained_lines() { tr -d '\r' <"$(host_path "$CHAINED_LOG")" 2>/dev/null | grep "^$1|"; }
chained_ini() { printf '%s\r\n' "$@" >"$(host_path 'C:\chained.ini')"; }
set_browser() { "$KOV_SRC/tests/machine/wine-run" reg add "$BROWSER_KEY" /v Build /d "$1" /f >/dev/null 2>&1; }
# One case: a fresh machine, the Program Manager, a setup built with the given settings.
start_case() {
    note "$1"; shift
    machine_reset --registry
    rm -f "$KOV_C"/chained.log "$KOV_C"/chained.ini "$KOV_C"/insmac.log "$KOV_C"/insmac.ini
    start_progman
    make_setup "$KOV_OUT/SETUP.EXE" "$@"
    put_file "$KOV_OUT/SETUP.EXE" 'D:\SETUP.EXE'
}

start_case "build 1300 required and installed: no installer, PPTWARN.EXE /Q:a, then deleted" \
    RequiredBrowserBuild=1300 @BrowserInstallers=IE4SETUP.EXE \
    "+IE4SETUP.EXE=$CHAINED" "+PPTWARN.EXE=$CHAINED"
set_browser 1300
run_setup "$DEFAULT_RULES" -M
find_log 'C:\Kov30I\setup.log'
[ -z "$(chained_lines IE4SETUP.EXE)" ] || fail "the browser installer ran"
chained_lines PPTWARN.EXE | grep -qF 'PPTWARN.EXE|C:\Kov30I\PPTWARN.EXE /Q:a|' ||
    fail "PPTWARN.EXE not run as expected: $(chained_lines PPTWARN.EXE)"
assert_log_line 'Executing app: C:\Kov30I\PPTWARN.EXE' "$LOG"
assert_missing 'C:\Kov30I\PPTWARN.EXE'
assert_no_log_line 'User needs MSIE to be installed' "$LOG"

start_case "build 1214 required: the installer runs and succeeds, PPTWARN.EXE never" \
    RequiredBrowserBuild=1214 @BrowserInstallers=IE4SETUP.EXE \
    "+IE4SETUP.EXE=$CHAINED" "+PPTWARN.EXE=$CHAINED"
set_browser 1000
chained_ini '[IE4SETUP.EXE]' 'build=1214'
run_setup "$DEFAULT_RULES" -M
find_log 'C:\Kov30I\setup.log'
assert_log_line 'User needs MSIE to be installed' "$LOG"
assert_log_line 'Executing app: C:\Kov30I\IE4SETUP.EXE' "$LOG"
[ "$(chained_lines IE4SETUP.EXE | wc -l)" = 1 ] || fail "the installer did not run once"
[ -z "$(chained_lines PPTWARN.EXE)" ] || fail "PPTWARN.EXE ran for build 1214"
assert_no_log_line 'MSIE install failed' "$LOG"

start_case "an installer leaving 1301 for 1300 fails and asks; the second pass works and is the last" \
    RequiredBrowserBuild=1300 @BrowserInstallers=IE4SETUP.EXE \
    "+IE4SETUP.EXE=$CHAINED" "+PPTWARN.EXE=$CHAINED"
set_browser 1000
chained_ini '[IE4SETUP.EXE]' 'build=1301,1300'
run_setup 'text "Echec de l" => press 6
'"$DEFAULT_RULES" -M
find_log 'C:\Kov30I\setup.log'
[ "$(grep -cxF 'MSIE install failed' <(machine_file "$LOG"))" = 1 ] || fail "not exactly one failed pass"
[ "$(chained_lines IE4SETUP.EXE | wc -l)" = 2 ] || fail "not two passes: $(chained_lines IE4SETUP.EXE)"
assert_log_line 'MSIE installed: build 1300' "$LOG"
[ "$(chained_lines PPTWARN.EXE | wc -l)" = 1 ] || fail "PPTWARN.EXE did not run after the installers"

start_case "an add-on asks for a restart, agreed: restsys.bat finished and the log written before the one restart call" \
    DeferInUseFiles=1 ClientUpdateMode=1 "@AddOnPrograms=ADDON.EXE|/silent /x|Module de d\xe9mo" \
    "+ADDON.EXE=$CHAINED"
chained_ini '[ADDON.EXE]' 'restart=YES'
run_setup 'text "plug-ins" => press 6
# 233: restart now
id 408 caption "" text "Setup needs to restart" => press 408
text "Setup needs to restart" => press 408
'"$DEFAULT_RULES" -M
find_log 'C:\Kov30I\setup.log'
chained_lines ADDON.EXE | grep -qF 'ADDON.EXE|C:\Kov30I\ADDON.EXE /silent /x|' ||
    fail "add-on not run as expected: $(chained_lines ADDON.EXE)"
assert_log_line 'Installing addon app: C:\Kov30I\ADDON.EXE /silent /x' "$LOG"
assert_log_line 'An add-on asks for a restart' "$LOG"
assert_robot_saw 'Setup needs to restart Windows'
[ "$RESTARTS" = 1 ] || fail "$RESTARTS restart calls, not 1"
assert_log_line 'Restarting Windows' "$LOG"
assert_log_has 'Peak handles = ' "$LOG"
batch=$(machine_file 'C:\Kov30I\restsys.bat') || fail "no restsys.bat"
tail -n 3 <<<"$batch" | grep -qxF 'del C:\Kov30I\restsys.bat' || { echo "$batch" >&2; fail "restsys.bat not finished"; }
assert_missing 'C:\Kov30I\kovrun.log'   # the client is not started when Windows restarts

start_case "the next diskette: its program started with the exact command, no closing notice" \
    NextDiskProgram=DISK2.EXE
put_file "$CHAINED" 'D:\DISK2.EXE'
run_setup 'text "disquette 2" => press 412
'"$DEFAULT_RULES" -M -R
find_log 'C:\Kov30I\setup.log'
chained_lines DISK2.EXE | grep -qF 'DISK2.EXE|D:\DISK2.EXE -R  -P C:\Kov30I|' ||
    fail "next disk command: $(chained_lines DISK2.EXE)"
assert_log_line 'User installing next disk: DISK2.EXE' "$LOG"
assert_robot_not_saw 'Vous pouvez utiliser KOV'
assert_robot_not_saw 'Redémarrer'

start_case "219 then Interrompre with a continuation program: 212, no restart, no closing notice" \
    ContinuationProgram=SUITE.EXE
run_setup 'text "disquette 2" => press 403
text "interruption" => press 408
'"$DEFAULT_RULES" -M -R
find_log 'C:\Kov30I\setup.log'
assert_robot_saw "Vous avez demandé l'interruption de l'installation."
assert_robot_not_saw 'Vous pouvez utiliser KOV'
assert_robot_not_saw 'Redémarrer'
assert_log_line 'User interrupted before the next disk' "$LOG"

start_case "network adapter library with all three entries answering 0: called in order, no restart" \
    "+insmac32.dll=$KOV_WIN/insmac_all.dll"
run_setup "$DEFAULT_RULES" -M
find_log 'C:\Kov30I\setup.log'
calls=$(tr -d '\r' <"$(host_path 'C:\insmac.log')" | grep -v '^attach' | cut -d' ' -f1 | tr '\n' ' ')
[ "$calls" = 'do_not_reboot(1) install_kovmac(1) check_reboot_flag(0) ' ] || fail "calls: $calls"
grep -q 'cwd=C:\\Kov30I' "$(host_path 'C:\insmac.log')" || fail "not loaded from the destination"
assert_log_line 'Network adapter library: 0' "$LOG"
assert_robot_not_saw 'Redémarrer'

start_case "network adapter library without entries: a restart is asked for, and declined" \
    "+insmac32.dll=$KOV_WIN/insmac_none.dll"
run_setup 'text "Redémarrer &plus tard" => press 406
'"$DEFAULT_RULES" -M
find_log 'C:\Kov30I\setup.log'
assert_log_line 'Network adapter library asks for a restart' "$LOG"
assert_log_line 'User postponed the restart' "$LOG"

start_case "-S on this machine (a 586, more than 15 MB): only 228, whose KOV3.1 starts the Windows 3.1 setup"
rm -f "$KOV_C/setup.log" "$(host_path 'D:\SETUP.EXE')"
put_file "$KOV_OUT/SETUP.EXE" 'D:\KOV95\SETUP.EXE'
put_file "$CHAINED" 'D:\KOV31\SETUP16.EXE'
run_with_robot 'text "disquette Windows 95" => press 414' 'D:\KOV95\SETUP.EXE' -S -C -M
assert_robot_saw 'disquette Windows 95'
assert_robot_not_saw 'il est recommandé'
assert_log_line 'User chose the Windows 3.1 edition'
chained_lines SETUP16.EXE | grep -qF 'SETUP16.EXE|D:\KOV31\SETUP16.EXE |' ||
    fail "Windows 3.1 setup not started: $(chained_lines SETUP16.EXE)"
assert_missing 'C:\Kov30I'
