#!/usr/bin/env bash
# The main job on a fresh machine: makes the Wine test machine, starts a Program Manager,
# puts the demo SETUP.EXE on the CD-ROM drive and an earlier installation on C:, and runs
# the setup the way a user who accepts every default would (the robot plays the user). The
# first process relaunches its temporary copy and ends; the robot waits for the copy.
# Prints the setup log and a summary of what landed, and keeps a picture of every dialog
# the user saw in build/demo/screens/.
set -uo pipefail
cd "$(dirname "$0")/.."
# The Windows tree this host runs (scripts/arch.sh): the i386 build, or on a host that
# cannot run 32-bit programs the 64-bit build of the same sources.
KOV_ARCH=$(bash scripts/arch.sh) || exit 1
export KOV_ARCH
if [ "$KOV_ARCH" = win64 ]; then
    echo "demo: the 64-bit build of the same sources (build/win64), on a 64-bit test machine:"
    echo "demo:   $(bash scripts/arch.sh --why)"
    echo "demo:   what we ship is the i386 build/win32/setup.exe, which this host cannot run"
fi
export KOV_SRC=$PWD KOV_WIN=$PWD/build/$KOV_ARCH KOV_HOST=$PWD/build/host
export KOV_MACHINE=$PWD/build/demo-machine WINEPREFIX=$PWD/build/demo-machine/prefix
export KOV_OUT=$PWD/build/demo/run KOV_TEST=demo KOV_TIMEOUT=240
# Every way out stops what the demo started: the display, the wineserver and its services,
# and the peers. make-machine stops its own half-made machine when it fails.
trap 'tests/machine/stop-machine "$KOV_MACHINE" >/dev/null 2>&1' EXIT
# make-machine says why when it fails (its last line); the demo adds only where to look.
tests/machine/make-machine "$KOV_MACHINE" >/dev/null ||
    { echo "demo: the test machine could not be made (build/demo-machine/wineboot.log)" >&2; exit 1; }
. tests/e2e/lib.sh
. tests/e2e/wholerun_lib.sh
# lib.sh sets its own exit trap (the peer windows); the machine must stop after them.
trap 'stop_windows; tests/machine/stop-machine "$KOV_MACHINE" >/dev/null 2>&1' EXIT

# What went wrong, one line each; the summary opens with them and make demo fails on them.
problems=()
problem() { problems+=("$*"); }
# The setup's own codes (README, "Exit codes"): a run ending with anything else crashed.
known_code() {
    [ "$1" -ge 0 ] 2>/dev/null && { [ "$1" -le 65535 ] || { [ "$1" -ge 65537 ] && [ "$1" -le 65543 ]; }; }
}
# The verdict of one run from its log and the program's output: a crash, no log, no exit code
# or a code outside the table is abnormal; any code but 0 and 3010 is a failed install.
judge_run() {   # WHAT LOG OUTPUT
    local what=$1 log=$2 out=$3 code
    if grep -qiE 'unhandled (page fault|exception)|exception .* at address' "$out" 2>/dev/null; then
        problem "$what crashed: $(grep -m1 -iE 'unhandled|exception' "$out")"
        return
    fi
    [ -f "$log" ] || { problem "$what wrote no setup.log"; return; }
    code=$(tr -d '\r' <"$log" | sed -n 's/^Exit code \([0-9]*\)$/\1/p' | tail -1)
    if [ -z "$code" ]; then problem "$what: its log has no exit code, so the setup ended abnormally"
    elif ! known_code "$code"; then problem "$what ended with $code, which is not a code of the setup"
    elif [ "$code" != 0 ] && [ "$code" != 3010 ]; then problem "$what ended with $code, not installed (README, Exit codes)"
    fi
}
[ -f "$DEMO_DIR/SETUP.EXE" ] || fail "no $DEMO_DIR/SETUP.EXE (make demo-package)"

start_progman
lay_earlier_install 'C:\Kov30I'
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
echo "Running D:\\SETUP.EXE on the test machine: an earlier installation in C:\\Kov30I, the robot accepting every default"
run_setup "$DEFAULT_RULES"
sleep 1

# The install goes beside the earlier one; only a log there belongs to this run. A run that
# failed leaves it in C:\ instead, and the earlier installation's folder is never shown as
# the new one.
dest='C:\Kov30IA'
log=$(host_path "$dest\\setup.log")
[ -f "$log" ] || log=$(host_path 'C:\setup.log')
judge_run "the interactive run" "$log" "$KOV_OUT/run-$KOV_RUNS.out"
echo "---- $(basename "$(dirname "$log")")\\setup.log ----"
tr -d '\r' <"$log" 2>/dev/null || echo "(no log written)"

echo "---- what landed ----"
for p in "${problems[@]}"; do echo "FAILED: $p"; done
dir=$(host_path "$dest")
[ -d "$dir" ] || echo "nothing installed in $dest"
if [ -d "$dir" ]; then
    files=$(find "$dir" -type f | wc -l)
    bytes=$(find "$dir" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
    echo "installed: $files files, $bytes bytes in $dest"
    echo "system folder: $(find "$(host_path 'C:\WINDOWS\SYSTEM')" -maxdepth 1 -iname 'kov*' -o -maxdepth 1 -iname 'ppp*' | wc -l) client files"
fi
echo "Program Manager:"
tr -d '\r' <"$PM_LOG" | grep -o 'text="[^"]*"' | sed 's/^/  /' | sort -u
echo "shortcuts:"
find "$WINEPREFIX/drive_c/windows" -iname '*KOV*.lnk' | sed "s|$WINEPREFIX/drive_c|  C:|"
echo "registry:"
for key in 'HKCU\Software\Tavelin Online\KOV\CurrentVersion' \
           'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavelin Online'; do
    tests/machine/wine-run reg query "$key" 2>/dev/null | tr -d '\r' | grep -v '^$' | sed 's/^/  /'
done
echo "win.ini [WKOV]:"
tr -d '\r' <"$(host_path 'C:\WINDOWS\win.ini')" | sed -n '/^\[WKOV\]/,/^\[/p' | grep -v '^\[' | sed 's/^/  /'
echo "VERSION.INF:"
tr -d '\r' <"$(host_path "$dest\\VERSION.INF")" 2>/dev/null | sed 's/^/  /'
echo "records of the new main database (kovdb dump $dest\\IDB\\MAIN.IDX):"
"$KOVDB" dump "$(host_path "$dest\\IDB\\MAIN.IDX")" 2>&1 | sed 's/^/  /'

echo "---- the client, started from the new installation ----"
"$KOV_SRC/tests/machine/wine-run" "$dest\\kov.exe" --close 2500 >/dev/null 2>&1 &
client=$!
sleep 1.5
mkdir -p "$DEMO_DIR/screens"
screenshot client >/dev/null 2>&1 && cp "$KOV_OUT/client.png" "$DEMO_DIR/screens/client.png"
wait $client
tr -d '\r' <"$(host_path "$dest\\kovrun.log")" 2>/dev/null | sed 's/^/  /'

# Every dialog the robot saw, in order (the frame behind them is left out: it is in each).
n=0
: >"$DEMO_DIR/screens/captions.txt"
while IFS='|' read -r file caption; do
    shot=$(ls "$KOV_OUT"/shots-*/"${file%.bmp}.png" 2>/dev/null | head -1)
    [ -n "$shot" ] || continue
    n=$((n + 1))
    cp "$shot" "$(printf '%s/screens/%02d.png' "$DEMO_DIR" "$n")"
    printf '%02d.png %s\n' "$n" "$caption" >>"$DEMO_DIR/screens/captions.txt"
done < <(awk '
    /^WINDOW / { match($0, /hwnd=[^ ]*/); h = substr($0, RSTART + 5, RLENGTH - 5)
                 match($0, /class="[^"]*"/); cls[h] = substr($0, RSTART + 7, RLENGTH - 8)
                 match($0, /caption="[^"]*"/); cap[h] = substr($0, RSTART + 9, RLENGTH - 10) }
    /^SHOT / { match($0, /hwnd=[^ ]*/); h = substr($0, RSTART + 5, RLENGTH - 5)
               match($0, /file="[^"]*"/); f = substr($0, RSTART + 6, RLENGTH - 7)
               if (cls[h] == "#32770") print f "|" cap[h] }' "$ROBOT_LOG")
echo "---- $n dialogs of the run in build/demo/screens/ (captions.txt), and client.png ----"

# The same install again, unattended: a fresh machine with the same earlier installation,
# the choices in an answer file, nobody answering. A script reads the exit code through
# launch.exe (the whole 32-bit code, as Windows gives it).
echo
echo "==== the same install, unattended: D:\\SETUP.EXE -U C:\\answers.ini on a fresh machine ===="
stop_windows
machine_reset --registry
start_progman
lay_earlier_install 'C:\Kov30I'
put_file "$DEMO_DIR/SETUP.EXE" 'D:\SETUP.EXE'
printf '%s\r\n' '[Install]' 'DestDir = C:\Kov30IA' 'PreviousDir = C:\Kov30I' 'Cache = 10' \
    'StartMenu = yes' 'PrintGuide = no' 'AddOns = no' 'Restart = never' >"$KOV_C/answers.ini"
echo "C:\\answers.ini:"
tr -d '\r' <"$KOV_C/answers.ini" | sed 's/^/  /'
rm -f "$KOV_C/exit.txt"
started=$(date +%s)
run_plain "$KOV_WIN/launch.exe" --out 'C:\exit.txt' 'D:\SETUP.EXE' -U 'C:\answers.ini'
code=$(tr -d '\r' <"$KOV_C/exit.txt" 2>/dev/null | sed -n 's/^exit=//p')
echo "exit code: ${code:-none} after $(($(date +%s) - started)) s (0: installed; the table is in README.md)"
ulog=$(host_path 'C:\Kov30IA\setup.log')
[ -f "$ulog" ] || ulog=$(host_path 'C:\setup.log')
if [ -z "$code" ]; then problem "the unattended run: launch.exe wrote no exit code"
elif ! known_code "$code"; then problem "the unattended run ended with $code, which is not a code of the setup (a crash)"
else judge_run "the unattended run" "$ulog" "$KOV_OUT/run-$KOV_RUNS.out"
fi
echo "the answers, as setup.log gives them:"
tr -d '\r' <"$ulog" 2>/dev/null | grep -E '^(Opt: Unattended|Answer file|Default|Unattended|Exit code)' | sed 's/^/  /'
udir=$(host_path 'C:\Kov30IA')
if [ -d "$udir" ]; then
    echo "installed: $(find "$udir" -type f | wc -l) files, $(find "$udir" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}') bytes in C:\\Kov30IA"
fi
echo "shortcuts:"
find "$WINEPREFIX/drive_c/windows" -iname '*KOV*.lnk' | sed "s|$WINEPREFIX/drive_c|  C:|"
echo "records of the new main database (kovdb list C:\\Kov30IA\\IDB\\MAIN.IDX):"
"$KOVDB" list "$(host_path 'C:\Kov30IA\IDB\MAIN.IDX')" 2>&1 | sed 's/^/  /'
echo "Program Manager:"
tr -d '\r' <"$PM_LOG" | grep -o 'text="[^"]*"' | sed 's/^/  /' | sort -u

echo
if [ ${#problems[@]} -gt 0 ]; then
    for p in "${problems[@]}"; do echo "demo: FAILED: $p"; done
    exit 1
fi
echo "demo: both runs installed"
