# The desktop steps on the test machine: the Program Manager group against the PROGMAN peer
# (the shell's own DDE server answers too, so every run has two servers), the shortcut in the
# Programs group and the shortcuts of dialog 217 in the machine's French folders.
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset
drv=$KOV_WIN/desktopdrv.exe
programs='C:\WINDOWS\Menu Démarrer\Programmes'

# Starts the peer with its options; its log is $PM_LOG.
PM_RUNS=0
start_progman() {
    PM_RUNS=$((PM_RUNS + 1))
    PM_LOG=$KOV_OUT/progman-$PM_RUNS.log
    progman_peer "$PM_LOG" 120000 "$@"
}
# Ends the peer once the client's last terminate has reached it.
stop_progman() {
    local i
    for i in $(seq 40); do grep -q '^ENABLE 1' "$PM_LOG" 2>/dev/null && break; sleep 0.05; done
    stop_windows
}
pm_count() { tr -d '\r' <"$PM_LOG" | grep -c -- "$1"; }
# The line of the peer's log for one execute, with the client's window as it saw it.
pm_execute() { tr -d '\r' <"$PM_LOG" | grep -F "iconic=0 enabled=0 text=\"$1\"" >/dev/null || { cat "$PM_LOG" >&2; fail "peer did not get: $1"; }; }
resolves_to() {
    local out
    out=$("$KOV_SRC/tests/machine/wine-run" "$drv" resolve "$1" 2>/dev/null | tr -d '\r')
    grep -qxF "target=$2" <<<"$out" || fail "$1 resolves to '$out', not $2"
}

note "group, item and show against the peer, then the shortcut in the group"
start_progman
run_plain "$drv" final 'C:\KOV30I' 'KOV 3.0i' 'KOV 3.0i avec IE 4.0'
stop_progman
[ "$RUN_STATUS" = 1 ] || fail "final step returned $RUN_STATUS"
pm_execute '[CreateGroup(KOV 3.0i)]'
pm_execute '[AddItem(C:\KOV30I\KOV.EXE,KOV 3.0i avec IE 4.0)]'
pm_execute '[ShowGroup(KOV 3.0i,7)]'
[ "$(pm_count '^ACK .*status=0x8000')" = 3 ] || fail "peer did not acknowledge three commands"
# The shell answered too and was turned away.
assert_log_line 'Second DDE server answered; terminating it'
assert_no_log_line 'CreateGroup failed'
assert_exists "$programs\\KOV 3.0i"
assert_log_line 'Created shortcut C:\WINDOWS\Menu D\233marrer\Programmes\KOV 3.0i\KOV 3.0i avec IE 4.0.lnk to C:\KOV30I\KOV.EXE'
resolves_to "$programs\\KOV 3.0i\\KOV 3.0i avec IE 4.0.lnk" 'C:\KOV30I\KOV.EXE'

note "a minimised peer that rejects CreateGroup: restored, and the other two commands still sent"
start_progman --minimized --reject CreateGroup
[ "$(pm_count '^READY .* iconic=1')" = 1 ] || fail "peer did not start minimised"
run_plain "$drv" group PROGMAN 'KOV 3.0i' 'Autre titre' 'C:\KOV30I\KOV.EXE'
stop_progman
[ "$RUN_STATUS" = 0 ] || fail "a rejected CreateGroup gave $RUN_STATUS"
pm_execute '[CreateGroup(KOV 3.0i)]'
pm_execute '[AddItem(C:\KOV30I\KOV.EXE,Autre titre)]'
pm_execute '[ShowGroup(KOV 3.0i,7)]'
assert_log_line 'CreateGroup failed'
assert_no_log_line 'ShowGroup failed'
# Restored before the commands and left so.
[ "$(tr -d '\r' <"$PM_LOG" | grep '^SIZE' | tail -1)" = 'SIZE restored' ] || fail "peer not left restored"

note "a peer that never acknowledges does not hang the run"
start_progman --no-ack
run_plain "$drv" group PROGMAN 'KOV Muet' 'Titre' 'C:\KOV30I\KOV.EXE'
stop_progman
[ "$RUN_STATUS" = 0 ] || fail "unanswered commands gave $RUN_STATUS"
assert_log_has 'DDE server sent no acknowledgement within'
assert_log_line 'CreateGroup failed'
assert_log_line 'AddItem failed'
assert_log_line 'ShowGroup failed'
[ "$(pm_count '^EXECUTE')" = 1 ] || fail "commands went on after the time-out"
[ "$(pm_count '^TERMINATE')" = 1 ] || fail "the unanswered peer got no terminate"

note "no server for the service, and no Program Manager window"
run_plain "$drv" group NOBODY 'KOV' 'Titre' 'C:\KOV30I\KOV.EXE'
assert_log_line "Couldn't create DDE client window"
assert_no_log_line "Couldn't find PM window"
# Only the shell answers now; its group is not ours to fill. The group folder is missing, so
# the shortcut fails and its retry question is answered Cancel.
run_with_robot 'text "Réessayer" => press 2' "$drv" final 'C:\KOV30I' 'KOV Absent' 'KOV'
[ "$RUN_STATUS" = 1 ] || fail "final step without a Program Manager returned $RUN_STATUS"
assert_log_line "Couldn't find PM window"
assert_robot_saw 'text="Impossible de créer un raccourci sur le bureau. Réessayer ?"'
assert_log_line 'Shortcut given up'
assert_missing "$programs\\KOV Absent"

# A retry question here would mean a shortcut failed: cancel it and let the checks tell.
retry_cancel='text "Réessayer" => press 2'
note "dialog 217: desktop and Start-menu shortcuts, the Start-menu title cut before Double"
run_with_robot "$retry_cancel
caption \"Configuration d'KOV avec IE 4.0\" => press 1" "$drv" dialog 'C:\KOV30I' 'KOV Double-cliquez'
[ "$RUN_STATUS" = 1 ] || fail "dialog 217 returned $RUN_STATUS"
assert_robot_not_saw 'Réessayer'
assert_robot_saw 'CONTROL id=505 class="Button" text="dans le menu Démarrer." checked'
resolves_to 'C:\WINDOWS\Bureau\KOV Double-cliquez.lnk' 'C:\KOV30I\KOV.EXE'
resolves_to 'C:\WINDOWS\Menu Démarrer\KOV .lnk' 'C:\KOV30I\KOV.EXE'

note "dialog 217 with its box cleared: the desktop shortcut only"
machine_reset
run_with_robot "$retry_cancel
caption \"Configuration d'KOV avec IE 4.0\" => uncheck 505 press 1" "$drv" dialog 'C:\KOV30I' 'KOV 3.0i avec IE 4.0'
[ "$RUN_STATUS" = 1 ] || fail "dialog 217 returned $RUN_STATUS"
assert_robot_not_saw 'Réessayer'
resolves_to 'C:\WINDOWS\Bureau\KOV 3.0i avec IE 4.0.lnk' 'C:\KOV30I\KOV.EXE'
assert_missing 'C:\WINDOWS\Menu Démarrer\KOV 3.0i avec IE 4.0.lnk'
note "desktop steps shown"
