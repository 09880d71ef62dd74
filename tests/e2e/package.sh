#!/usr/bin/env bash
# The package inside the setup program: the demo SETUP.EXE finds its own package through
# its offset resource, a bare package is read with -X, and a damaged script ends the run
# with fatal error 18, reported in a message box and at the end of C:\setup.log.
. "$KOV_SRC/tests/e2e/lib.sh"

KOVPACK=$KOV_HOST/kovpack
[ -x "$KOVPACK" ] || fail "no kovpack in $KOV_HOST"
FILES=$KOV_OUT/files
python3 "$KOV_SRC/demo/make-files.py" "$KOV_SRC/demo/kov30i.kovpack" "$FILES" \
    --dunzip "$KOV_WIN/dunzip32.dll" --client "$KOV_WIN/kov.exe" \
    --uninstaller "$KOV_WIN/RM_KOV.EXE" 2>/dev/null
"$KOVPACK" -q --stub "$KOV_WIN/setup.exe" --source "$FILES" -o "$KOV_OUT/SETUP.EXE" \
    "$KOV_SRC/demo/kov30i.kovpack" || fail "kovpack could not build SETUP.EXE"
"$KOVPACK" -q --source "$FILES" -o "$KOV_OUT/package.bin" "$KOV_SRC/demo/kov30i.kovpack" \
    || fail "kovpack could not build package.bin"
stub_size=$(stat -c %s "$KOV_WIN/setup.exe")

# Whatever the setup asks after the package is read, the user quits: Annuler at the guide,
# Quitter when asked to confirm, Yes to a question about quitting, Cancel otherwise; the
# fatal-error box is acknowledged.
RULES='text "Erreur (n" => press 1
text "Vous avez demandé à quitter" => press 403
id 415 => press 406
id 6 => press 6
* max 20 => close'

# Crash mode (-C) writes every line to C:\setup.log as it happens, so the lines of the
# start-up are there however the run ends.
machine_reset
rm -f "$(host_path 'C:\setup.log')"
put_file "$KOV_OUT/SETUP.EXE" 'C:\KOVTEST\SETUP.EXE'
run_with_robot "$RULES" 'C:\KOVTEST\SETUP.EXE' -C
cp "$(host_path 'C:\setup.log')" "$KOV_OUT/setup-resource.log" 2>/dev/null
assert_log_line "Package offset $stub_size from resource 100"
assert_log_has "opened at offset $stub_size"
assert_log_has "Install script read: 154 files"
assert_robot_not_saw 'Erreur (n'

# A bare package named with -X and no -T is read from its first byte.
machine_reset
rm -f "$(host_path 'C:\setup.log')"
put_file "$KOV_OUT/package.bin" 'C:\KOVTEST\PACKAGE.BIN'
run_with_robot "$RULES" "$KOV_WIN/setup.exe" -C -X 'C:\KOVTEST\PACKAGE.BIN'
cp "$(host_path 'C:\setup.log')" "$KOV_OUT/setup-bare.log" 2>/dev/null
assert_log_has 'C:\KOVTEST\PACKAGE.BIN opened at offset 0'
assert_log_has "Install script read: 154 files"

# A script that begins with "SR": fatal error 18, shown to the user with its number, and
# the last line of the log, which goes to the root of the first fixed drive.
cp "$KOV_OUT/SETUP.EXE" "$KOV_OUT/SETUP-SR.EXE"
printf 'SR' | dd of="$KOV_OUT/SETUP-SR.EXE" bs=1 seek="$stub_size" conv=notrunc status=none
machine_reset
rm -f "$(host_path 'C:\setup.log')"
put_file "$KOV_OUT/SETUP-SR.EXE" 'C:\KOVTEST\SETUP.EXE'
run_with_robot "$RULES" 'C:\KOVTEST\SETUP.EXE'
cp "$(host_path 'C:\setup.log')" "$KOV_OUT/setup-sr.log" 2>/dev/null
assert_robot_saw 'Erreur (n° 18)'
assert_log_line 'Fatal error #18'
last=$(machine_file 'C:\setup.log' | sed '/^$/d' | tail -n 1)
[ "$last" = 'Fatal error #18' ] || fail "last log line is \"$last\", not the fatal error"
note "package: all checks passed"
