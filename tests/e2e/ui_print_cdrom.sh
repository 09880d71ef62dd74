# Printing the quick reference guide from a program on the CD-ROM: when the print dialog
# opens, the current directory is the temporary folder, not the disc.
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset
put_file "$KOV_WIN/win32_tests.exe" 'D:\UITESTS.EXE'
run_plain 'D:\UITESTS.EXE' --gtest_filter=Printing.FromCdRom*
out=$KOV_OUT/run-$KOV_RUNS.out
grep -q '\[  PASSED  \] 1 test' "$out" || { cat "$out" >&2; fail "the test did not pass from D:"; }
grep -q 'SKIPPED' "$out" && { cat "$out" >&2; fail "D: was not seen as a CD-ROM"; }
note "print dialog opened in the temporary folder"
