# Ways out of the wizard and drives without room, on the test machine: quitting at each
# step (nothing installed, "User exit" in the log), no fixed drive with room (231, 232 with
# the drives, then a drive that fits), and a destination in a full root directory. Run with
# -C: a run that never chose its destination writes its log only in crash mode.
. "$KOV_SRC/tests/e2e/lib.sh"
. "$KOV_SRC/tests/e2e/wholerun_lib.sh"
KOV_TIMEOUT=${KOV_TIMEOUT:-120}
[ -f "$DEMO_DIR/SETUP.EXE" ] || fail "no $DEMO_DIR/SETUP.EXE (make demo-package)"
QUIT='text "Vous avez demandé à quitter" => press 403'

quit_case() {   # WHAT RULES
    note "quit: $1"
    machine_reset --registry
    rm -f "$KOV_C/setup.log"
    put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
    run_setup "$2
$QUIT
$DEFAULT_RULES" -C -M
    assert_log_line 'User exit'
    assert_missing 'C:\Kov30I'
    assert_robot_not_saw 'Vous pouvez utiliser KOV'
}

quit_case "at the quick reference guide (Annuler)" 'id 415 => press 406'
quit_case "at the welcome dialog" 'id 401 id 402 => press 403'
quit_case "in the Afficher dialogs: Annuler goes back to the welcome dialog, then Quitter" \
    'text "Vous avez une version" => press 406
text "Transfert des param" => press 406
id 401 id 402 max 1 => press 402
id 401 id 402 => press 403'
assert_robot_saw 'Transfert des paramètres'
# Reprendre in the quit question goes back to the step; quitting still works afterwards.
quit_case "Reprendre first, then Quitter" 'text "Vous avez demandé à quitter" max 1 => press 407
id 401 id 402 => press 403'
[ "$(grep -c '^RULE.*line=1$' "$ROBOT_LOG")" = 1 ] || fail "Reprendre was not pressed once"

# The machine's drive settings for one case: Wine reads them when its server starts.
DRIVE_MOUNT=$KOV_OUT/edrive
wine_drives() {   # LETTER=TYPE ... (TYPE empty: the setting is removed)
    local kv
    for kv in "$@"; do
        if [ -n "${kv#*=}" ]; then
            "$KOV_SRC/tests/machine/wine-run" reg add 'HKLM\Software\Wine\Drives' /v "${kv%%=*}:" /d "${kv#*=}" /f >/dev/null 2>&1
        else
            "$KOV_SRC/tests/machine/wine-run" reg delete 'HKLM\Software\Wine\Drives' /v "${kv%%=*}:" /f >/dev/null 2>&1
        fi
    done
    wineserver -k 2>/dev/null; wineserver -w
    "$KOV_SRC/tests/machine/start-server"
}
# A small drive E: of its own (a tmpfs of SIZE), empty.
small_drive() {   # SIZE
    mkdir -p "$DRIVE_MOUNT"
    mount -t tmpfs -o "size=$1" tmpfs "$DRIVE_MOUNT" || fail "cannot mount a small drive (run as root)"
    ln -sfn "$DRIVE_MOUNT" "$WINEPREFIX/dosdevices/e:"
}
restore_drives() {
    rm -f "$WINEPREFIX/dosdevices/e:"
    wine_drives c=hd e=
    mountpoint -q "$DRIVE_MOUNT" 2>/dev/null && { umount "$DRIVE_MOUNT" || umount -l "$DRIVE_MOUNT"; }
}
trap 'stop_windows; restore_drives' EXIT

note "no fixed drive with room: C: counts as a network drive for this run, E: is 1 MB"
machine_reset --registry
rm -f "$KOV_C/setup.log"
small_drive 1m
wine_drives c=network e=hd
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
run_setup '# 231: Drives
id 416 id 417 => press 416
# 232: the first line (C:, sorted first), Select
id 519 => select 519 0 press 418
'"$DEFAULT_RULES" -C -M
assert_robot_saw 'Espace disque insuffisant pour installer KOV'
assert_robot_saw 'text="Available Drives\tType\tFree Space(KB)"'
assert_robot_saw 'text="C:\t\tNetwork\t'
assert_robot_saw 'text="E:\t\tLocal\t1,0'   # 1 MB less what the file system keeps
assert_robot_not_saw 'text="D:'
# In crash mode the log goes to the first fixed drive, E: in this case.
cp "$DRIVE_MOUNT/setup.log" "$KOV_C/e-setup.log" 2>/dev/null || fail "no E:\setup.log"
assert_log_line 'User chose drive C:' 'C:\e-setup.log'
assert_log_line 'Path C:\Kov30I OK' 'C:\e-setup.log'
assert_exists 'C:\Kov30I\kov.exe'
restore_drives

note "no drive with room and the user gives up: 226, and the Windows 3.1 edition's installer"
machine_reset --registry
rm -f "$KOV_C/setup.log" "$KOV_C/chained.log"
small_drive 1m
wine_drives c=network e=hd
make_setup "$KOV_OUT/SETUP.EXE" Win31FallbackProgram=WIN31.EXE
put_file "$KOV_OUT/SETUP.EXE" 'D:\SETUP.EXE'
put_file "$KOV_WIN/chained.exe" 'D:\WIN31.EXE'
run_setup 'id 416 id 417 => press 403
text "pour Windows 3.1" => press 413
'"$DEFAULT_RULES" -C -M
assert_robot_saw 'Espace disque insuffisant pour installer KOV 3.0i. Souhaitez-vous installer KOV 3.0i pour Windows 3.1 ?'
cp "$DRIVE_MOUNT/setup.log" "$KOV_C/e-setup.log" 2>/dev/null || fail "no E:\setup.log"
assert_log_line 'User gave up: no drive with room' 'C:\e-setup.log'
assert_log_line 'Executing app: D:\WIN31.EXE' 'C:\e-setup.log'
tr -d '\r' <"$KOV_C/chained.log" | grep -qF 'WIN31.EXE|D:\WIN31.EXE |' || fail "fallback installer not started"
assert_robot_not_saw 'Erreur (n'
assert_missing 'C:\Kov30I'
restore_drives

note "the root directory of a 16 MB read-only drive E: holds 400 entries: 34017 and 34018, then another folder"
machine_reset --registry
rm -f "$KOV_C/setup.log"
small_drive 16m
python3 -c 'import os, sys; [open(f"{sys.argv[1]}/F{i:03d}.TXT", "w").close() for i in range(400)]' "$DRIVE_MOUNT"
mount -o remount,ro "$DRIVE_MOUNT"
wine_drives e=hd
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
run_setup 'id 401 id 402 => press 402
text "Transfert des param" => press 408
text "Emplacement futur" max 1 => type 501 "E:\KOV" press 408
text "nombre maximal" => press 1
text "Emplacement futur" => type 501 "C:\Kov30I" press 408
'"$DEFAULT_RULES" -C -M
assert_robot_saw 'Votre répertoire racine contient le nombre maximal de fichiers et de répertoires autorisé.Veuillez supprimer'
assert_log_line 'Root directory full: 400 entries'
assert_log_line 'Dest path changed: C:\KOV30I'
assert_exists 'C:\Kov30I\kov.exe'
