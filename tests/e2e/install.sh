#!/usr/bin/env bash
# The install step on the test machine: the demo package into C:\Kov30I under the copy
# dialog, followed by the robot (the file label and the gauge move), every installed file
# byte for byte the demo's source; then the small drive: disk full with Retry after room was
# made, disk full with Cancel leaving nothing, and hostile archives that stop at the size
# the package promised instead of filling the drive.
. "$KOV_SRC/tests/e2e/lib.sh"

KOVPACK=$KOV_HOST/kovpack
[ -x "$KOVPACK" ] || fail "no kovpack in $KOV_HOST"
FILES=$KOV_OUT/files
python3 "$KOV_SRC/demo/make-files.py" "$KOV_SRC/demo/kov30i.kovpack" "$FILES" \
    --dunzip "$KOV_WIN/dunzip32.dll" --client "$KOV_WIN/kov.exe" 2>/dev/null
"$KOVPACK" -q --source "$FILES" -o "$KOV_OUT/package.bin" "$KOV_SRC/demo/kov30i.kovpack" \
    || fail "kovpack could not build package.bin"

# --- the demo package into C:\Kov30I ---
machine_reset
put_file "$KOV_OUT/package.bin" 'C:\KOVTEST\PACKAGE.BIN'
# No pictures: the robot then looks every 50 ms and sees the copy go by; each file label
# is held 20 ms, so that a copy quicker than the robot's looks still shows it several.
KOV_LABEL_PAUSE_MS=20 KOV_SHOTS=0 ROBOT_FOLLOW=502,503 run_with_robot "" "$KOV_WIN/installrun.exe" 'C:\KOVTEST\PACKAGE.BIN' \
    'C:\Kov30I' 'C:\KOVTEST\install.log'
cp "$(host_path 'C:\KOVTEST\install.log')" "$KOV_OUT/install-demo.log" 2>/dev/null
[ "$RUN_STATUS" = 0 ] || { cat "$KOV_OUT/install-demo.log" >&2; fail "install ended with $RUN_STATUS"; }
assert_robot_saw "text=\"Veuillez patienter pendant l'installation d'KOV."
assert_log_line 'Installing files' 'C:\KOVTEST\install.log'
labels=$(grep -c '^TEXT .* id=503 ' "$ROBOT_LOG")
words=$(grep '^WORD .* id=502 ' "$ROBOT_LOG" | sed 's/.*value=//' | sort -un | wc -l)
note "the robot saw $labels file labels and $words gauge positions"
[ "$labels" -ge 3 ] || fail "the file label hardly changed ($labels times)"
[ "$words" -ge 2 ] || fail "the gauge hardly moved ($words positions)"

# Every entry where it belongs, byte for byte: the destination, the Windows folder, or for
# system files the system folder (or the destination root, where the system-file step
# leaves a file it keeps out).
entries=$(awk '/^\[/{on = ($0 ~ /^\[Files\]/); next} on && NF && !/^[;#]/' "$KOV_SRC/demo/kov30i.kovpack" | tr -d '\r')
count=0
while IFS= read -r entry; do
    src=$FILES/${entry//\\//}
    [ -f "$src" ] || fail "no demo source for $entry"
    bare=${entry##*\\}
    case "${entry,,}" in
        windows\\*) targets=("C:\\WINDOWS\\$bare") ;;
        system\\*) targets=("C:\\WINDOWS\\SYSTEM\\$bare" "C:\\WINDOWS\\SYSTEM32\\$bare" "C:\\Kov30I\\$bare") ;;
        *) targets=("C:\\Kov30I\\$entry") ;;
    esac
    found=
    for t in "${targets[@]}"; do
        h=$(host_path "$t")
        if [ -f "$h" ] && cmp -s "$src" "$h"; then found=$t; break; fi
    done
    [ -n "$found" ] || fail "$entry is not installed as its source (looked at ${targets[*]})"
    count=$((count + 1))
done <<<"$entries"
note "$count files byte-identical to the demo sources"
[ "$count" = 154 ] || fail "expected 154 entries, compared $count"
ls "$(host_path 'C:\Kov30I')" | grep -qi '^dec.*\.tmp$' && fail "a temporary archive stayed"
assert_exists 'C:\WINDOWS\DOSGAME.PIF'

# --- the small drive ---
small=$KOV_MACHINE/small
if ! "$KOV_SRC/tests/machine/small-drive" map; then
    note "SKIPPED: this machine has no small drive (mounting a tmpfs was refused)"
    exit 0
fi
trap '"$KOV_SRC/tests/machine/small-drive" unmap; stop_windows' EXIT

# A small package: the library and three files that do not compress.
SMALL=$KOV_OUT/small
mkdir -p "$SMALL/files"
cp "$KOV_WIN/dunzip32.dll" "$SMALL/files/"
for i in 1 2 3; do head -c 600000 /dev/urandom >"$SMALL/files/data$i.bin"; done
cat >"$SMALL/small.kovpack" <<'DESC'
[Setup]
DefaultDestDir = S:\KOVSMALL
QuickRefFile = quickref.txt
DbVersion = 139.108

[Files]
dunzip32.dll
data1.bin
data\data2.bin
data\data3.bin
DESC
mkdir -p "$SMALL/files/data"
mv "$SMALL/files/data2.bin" "$SMALL/files/data3.bin" "$SMALL/files/data/"
"$KOVPACK" -q --source "$SMALL/files" -o "$SMALL/small.bin" "$SMALL/small.kovpack" \
    || fail "kovpack could not build the small package"

# Leaves 900 KB: room for the first file and its archive, not for the rest.
fill_small() {
    local free; free=$(df -k --output=avail "$small" | tail -1)
    head -c $(( (free - 900) * 1024 )) /dev/zero >"$small/filler" || fail "cannot fill the small drive"
}
package_files_on_small() { find "$small" -type f ! -name filler -printf '%P\n'; }

# Retry after room was made: the test deletes the filler when the question shows.
"$KOV_SRC/tests/machine/small-drive" map
fill_small
put_file "$SMALL/small.bin" 'C:\KOVTEST\SMALL.BIN'
next_log=$KOV_OUT/robot-$((KOV_RUNS + 1)).log
( for _ in $(seq 600); do
      if grep -q 'Espace disque insuffisant' "$next_log" 2>/dev/null; then rm -f "$small/filler"; break; fi
      sleep 0.1
  done ) &
watcher=$!
run_with_robot 'text "Espace disque insuffisant" => wait 3000 press 4' "$KOV_WIN/installrun.exe" \
    'C:\KOVTEST\SMALL.BIN' 'S:\KOVSMALL' 'C:\KOVTEST\small-retry.log'
wait $watcher
cp "$(host_path 'C:\KOVTEST\small-retry.log')" "$KOV_OUT/small-retry.log" 2>/dev/null
assert_robot_saw 'Espace disque insuffisant'
[ "$RUN_STATUS" = 0 ] || { cat "$KOV_OUT/small-retry.log" >&2; fail "the install after Retry ended with $RUN_STATUS"; }
for f in data1.bin data/data2.bin data/data3.bin; do
    cmp -s "$SMALL/files/$f" "$small/KOVSMALL/$f" || fail "$f is not installed as its source"
done
note "disk full, Retry after room was made: installed"

# Cancel: nothing of the package stays on the drive, no temporary archive either.
"$KOV_SRC/tests/machine/small-drive" map
fill_small
run_with_robot 'text "Espace disque insuffisant" => press 2
id 408 => press 408' "$KOV_WIN/installrun.exe" 'C:\KOVTEST\SMALL.BIN' 'S:\KOVSMALL' 'C:\KOVTEST\small-cancel.log'
cp "$(host_path 'C:\KOVTEST\small-cancel.log')" "$KOV_OUT/small-cancel.log" 2>/dev/null
assert_robot_saw 'Espace disque insuffisant'
[ "$RUN_STATUS" != 0 ] || fail "the install went through although the user cancelled"
left=$(package_files_on_small)
[ -z "$left" ] || fail "left on the small drive after Cancel: $left"
note "disk full, Cancel: ended with $RUN_STATUS, nothing left"

# Hostile archives on the small drive: a 200 MB member and a lying data descriptor each end
# with the library's size error (1008), never with the disk-full question; with the library
# reading the package directly and with the one that keeps to temporary archives.
"$KOV_SRC/tests/machine/small-drive" map
put_file "$KOV_WIN/win32_tests.exe" 'C:\KOVTEST\LOOPTEST.EXE'
put_file "$KOV_WIN/dunzip32.dll" 'C:\KOVTEST\dunzip32.dll'
KOV_INSTALL_DEST='S:\BOMB' run_with_robot 'text "Espace disque" => press 2' \
    'C:\KOVTEST\LOOPTEST.EXE' --gtest_filter='*InstallLoop.HostileArchives*'
out=$KOV_OUT/run-$KOV_RUNS.out
grep -q '\[  PASSED  \] 2 tests' "$out" || { cat "$out" >&2; fail "hostile archives on the small drive"; }
assert_robot_not_saw 'Espace disque'
note "200 MB member and lying descriptor stopped at the promised size on the small drive"
