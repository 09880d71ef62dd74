# The test machine is what the users' PCs are: Windows 95, C: a fixed disk, D: a CD-ROM
# drive and no other, French shell folders under C:\WINDOWS, code page 1252; nothing pops up
# when a program starts or crashes; a reset takes away what a run left; ports can be mapped.
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset

run_with_robot '' "$KOV_WIN/machinfo.exe"
info=$(cat "$KOV_OUT/run-$KOV_RUNS.out")
want() { grep -qxF -- "$1" <<<"$info" || { printf '%s\n' "$info" >&2; fail "machine: no $1"; }; }
version=$(sed -n 's/^version=//p' <<<"$info")
# Windows 95: the high bit set (not NT) and version 4.0 in the low word.
(( (version & 0x8000FFFF) == 0x80000004 )) || fail "GetVersion gives $version"
want platform=1
want release=4.0.950
want acp=1252
want 'temp=C:\WINDOWS\TEMP\'
want drive.C=3
want drive.D=5
[ "$(grep -c '^drive\.' <<<"$info")" = 2 ] || fail "drives other than C: and D: exist: $info"
while IFS='|' read -r name path; do
    want "folder.$name=$path"
    want "shell.$name=$path"
    [ -d "$(host_path "$path")" ] || fail "no folder $path"
done <<'FOLDERS'
Desktop|C:\WINDOWS\Bureau
Start Menu|C:\WINDOWS\Menu Démarrer
Programs|C:\WINDOWS\Menu Démarrer\Programmes
Startup|C:\WINDOWS\Menu Démarrer\Programmes\Démarrage
FOLDERS
for n in 1 2 3 4; do want "port.COM$n=dead"; done
# Windows sees one folder where the host could hold two differing in case only.
dups=$(find "$KOV_C" -maxdepth 3 | tr '[:upper:]' '[:lower:]' | sort | uniq -d)
[ -z "$dups" ] || fail "names differing only in case: $dups"
# No window of Wine's own (first-start, update or download prompts) came up.
[ "$(robot_windows)" = 0 ] || { cat "$ROBOT_LOG" >&2; fail "a window popped up"; }
# Nothing from the host's home leaks in: Wine's profile folders are plain folders.
[ -z "$(find "$KOV_C/users" -type l)" ] || fail "profile folders link out of the machine"

# A crash ends the program at once, without a debugger dialog holding the run.
run_with_robot '' "$KOV_WIN/asker.exe" crash
[ "$RUN_STATUS" != 0 ] || fail "the crash went unnoticed"
[ "$(robot_windows)" = 0 ] || { cat "$ROBOT_LOG" >&2; fail "a crash dialog came up"; }

# Serial ports: a silent line, a pty of our own, back to none.
"$KOV_SRC/tests/machine/map-com" COM2 silent
exec {pty_keep}< <(python3 -c '
import os, pty, sys, time
m, s = pty.openpty()
print(os.ttyname(s), flush=True)
time.sleep(60)' 2>/dev/null)
pty_holder=$!
trap 'kill $pty_holder 2>/dev/null; stop_windows' EXIT
read -r pty <&$pty_keep
"$KOV_SRC/tests/machine/map-com" COM3 "$pty"
run_plain "$KOV_WIN/machinfo.exe"
info=$(cat "$KOV_OUT/run-$KOV_RUNS.out")
want port.COM1=dead
want port.COM2=line
want port.COM3=line
"$KOV_SRC/tests/machine/map-com" COM2 none
"$KOV_SRC/tests/machine/map-com" COM3 none
run_plain "$KOV_WIN/machinfo.exe"
info=$(cat "$KOV_OUT/run-$KOV_RUNS.out")
want port.COM2=dead
want port.COM3=dead

# What a setup run leaves goes with a reset; the machine's own folders stay.
mkdir -p "$KOV_C/Kov30I/IDB" "$KOV_C/windows/Menu Démarrer/Programmes/KOV"
touch "$KOV_C/SETUP.LOG" "$KOV_CDROM/SETUP.EXE" "$KOV_C/windows/Bureau/KOV.lnk"
start_window "KOV Frame" KOV
window=${KOV_WINDOW_PIDS[0]}; KOV_WINDOW_PIDS=()
"$KOV_SRC/tests/machine/reset-machine"
for _ in $(seq 50); do kill -0 "$window" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$window" 2>/dev/null || fail "reset left a program running"
for p in 'C:\setup.log' 'C:\Kov30I' 'D:\SETUP.EXE' 'C:\WINDOWS\Bureau\KOV.lnk' \
         'C:\WINDOWS\Menu Démarrer\Programmes\KOV'; do
    assert_missing "$p"
done
assert_exists 'C:\WINDOWS\Menu Démarrer\Programmes\Démarrage'

