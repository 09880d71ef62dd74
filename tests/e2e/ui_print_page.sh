# The quick reference guide as it comes out of the printer: the Win32 test prints a guide
# with long lines through dialog 229, and Ghostscript renders each job. Every mark must lie
# on the page, clear of its right edge (marks beyond the edge are clipped to it), and the
# pages are kept as pictures for people to look at.
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset
jobs=$KOV_C/printer
mkdir -p "$jobs"
before=$(find "$jobs" -name 'job-*.ps' | wc -l)
run_plain "$KOV_WIN/win32_tests.exe" --gtest_filter=Printing.LongLinesStayOnThePage
out=$KOV_OUT/run-$KOV_RUNS.out
grep -q '\[  PASSED  \] 1 test' "$out" || { cat "$out" >&2; fail "the printing test did not pass"; }

n=0
for job in $(find "$jobs" -name 'job-*.ps' | sort -t- -k2 -n | tail -n +$((before + 1))); do
    n=$((n + 1))
    read -r width height < <(sed -n 's/^%%BoundingBox: 0 0 \([0-9]*\) \([0-9]*\).*/\1 \2/p' "$job" | head -1)
    [ -n "$width" ] || fail "$job: no page size"
    box=$(gs -q -dNOPAUSE -dBATCH -sDEVICE=bbox "$job" 2>&1 | sed -n 's/^%%HiResBoundingBox: //p')
    [ -n "$box" ] || fail "$job: nothing drawn"
    while read -r x0 y0 x1 y1; do
        # A quarter inch (18 points) of paper stays free at the right edge.
        awk -v r="$x1" -v w="$width" 'BEGIN { exit !(r <= w - 18) }' ||
            fail "$(basename "$job"): text reaches x=$x1 on a page $width points wide"
        note "$(basename "$job"): marks within $x0 $y0 $x1 $y1 of a ${width}x$height page"
    done <<<"$box"
    gs -q -dNOPAUSE -dBATCH -sDEVICE=pnggray -r75 -sOutputFile="$KOV_OUT/guide-$n-%d.png" "$job" ||
        fail "$job: Ghostscript could not render it"
done
[ $n -ge 2 ] || fail "expected two jobs, found $n"
note "every line of the guide on the paper ($n jobs rendered into $KOV_OUT)"
