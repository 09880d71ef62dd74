# The modem search against modem peers on the machine's serial ports, with the robot as the
# user: which ports are tried, at which speeds each command arrives, what counts as an
# answer, the class chosen, and the user's Retry, Skip and Quit. A silent port costs about
# 3.1 s per try, so the cases put silence only where it is the point.
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset

MODEM_PIDS=()
stop_modems() {
    local p
    for p in "${MODEM_PIDS[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${MODEM_PIDS[@]}"; do wait "$p" 2>/dev/null; done
    MODEM_PIDS=()
}
unmap_ports() { for n in 1 2 3 4; do map_com "COM$n" none; done; }
trap 'stop_modems; unmap_ports; stop_windows' EXIT

# A new case: no modem, no port at all, no log.
CASE=
new_case() {
    CASE=$1
    note "case $CASE"
    stop_modems
    for n in 1 2 3 4; do map_com "COM$n" absent; done
    rm -f "$(host_path 'C:\setup.log')"
}

# start_modem COMn [peer options]: a modem peer on that port, logging to modem-CASE-COMn.log.
start_modem() {
    local port=$1; shift
    local base=$KOV_OUT/modem-$CASE-$port i
    "$KOV_SRC/tests/peers/modem" --log "$base.log" --timeout 300 "$@" >"$base.pty" 2>"$base.err" </dev/null &
    MODEM_PIDS+=($!)
    for i in $(seq 100); do [ -s "$base.pty" ] && break; sleep 0.05; done
    [ -s "$base.pty" ] || fail "modem peer on $port did not start: $(cat "$base.err")"
    map_com "$port" "$(head -1 "$base.pty")"
}

# The robot: the search dialog (203, the one with status line 501) is left alone unless a
# case says otherwise; the not-found dialog (204, the one with Retry 405) is skipped. The
# quit confirmation (205) is the one with Resume 407.
SEARCH='id 501'
NOT_FOUND='id 405'
rules() { printf '%s\n' "$@"; }
DEFAULT_RULES=$(rules "$SEARCH => ignore" "$NOT_FOUND => press 404")

# search [RULES]: runs the search; RUN_STATUS is its result. The log is kept per case.
search() {
    run_with_robot "${1:-$DEFAULT_RULES}" "$KOV_WIN/modemrun.exe"
    machine_file 'C:\setup.log' >"$KOV_OUT/setup-$CASE.log" || fail "$CASE: no setup.log"
}

# Lines of the setup log, in this order (others may come between them); a text ending in
# * stands for the lines that start with the rest.
assert_log_order() {
    awk -v n=$# 'BEGIN { for (i = 1; i < ARGC; i++) want[i] = ARGV[i]; ARGC = 1; k = 1 }
                 function holds(w) { return w ~ /\*$/ ? index($0, substr(w, 1, length(w) - 1)) == 1 : $0 == w }
                 k <= n && holds(want[k]) { k++ }
                 END { exit !(k > n) }' "$@" <"$KOV_OUT/setup-$CASE.log" ||
        { cat "$KOV_OUT/setup-$CASE.log" >&2; fail "$CASE: setup.log lacks, in this order: $*"; }
}
# How many lines of the setup log start with the text.
log_count() { grep -c -- "^$1" "$KOV_OUT/setup-$CASE.log"; }
expect_count() {
    local got; got=$(log_count "$1")
    [ "$got" = "$2" ] || { cat "$KOV_OUT/setup-$CASE.log" >&2; fail "$CASE: $got lines '$1', not $2"; }
}
# What a peer heard: one "SPEED TEXT ANSWER" line per command (ANSWER - for none).
heard() {
    sed -n 's/^CMD t=[0-9]* speed=\([0-9]*\) text="\([^"]*\)" answer=\(none\|"[^"]*"\).*/\1 \2 \3/p' \
        "$KOV_OUT/modem-$CASE-$1.log" | sed 's/ none$/ -/; s/ "\([^"]*\)"$/ \1/'
}
expect_heard() {
    local port=$1 want got; shift
    want=$(printf '%s\n' "$@"); got=$(heard "$port")
    [ "$got" = "$want" ] || fail "$CASE: the modem on $port heard
$got
instead of
$want"
}
expect_result() {
    [ "$RUN_STATUS" = "$1" ] || { cat "$KOV_OUT/setup-$CASE.log" >&2; fail "$CASE: result $RUN_STATUS, not $1"; }
}
DEFAULTS='Prof = CLASS33.MDM, si = 3, port = COM2'

# No port opens: both passes find none; Retry in 204 runs both again, then Skip.
case_no_port() {
    new_case no-port
    search "$(rules "$SEARCH => ignore" "$NOT_FOUND max 1 => press 405" "$NOT_FOUND => press 404")"
    expect_result 0
    assert_log_order 'Sweep:  si=3, to=1000, mp=0' 'Sweep:  si=1, to=5000, mp=0' 'Modem not found: retry' \
        'Sweep:  si=3, to=1000, mp=0' 'Sweep:  si=1, to=5000, mp=0' 'Modem not found: skip' "$DEFAULTS"
    expect_count 'Sweep:' 4
    expect_count 'Port=' 0
    [ "$(grep -c 'text="&Réessayer"' "$ROBOT_LOG")" = 2 ] || fail "$CASE: the not-found dialog did not show twice"
}

# Only COM3: the sweep limit is 3 and only COM3 is probed. It answers at every speed but
# "ERROR" to the error-correction test, "OK" to the second class test.
case_com3_only() {
    new_case com3-only
    start_modem COM3 --reply 'AT&K3&Q5=ERROR'
    search
    expect_result 1
    assert_log_order 'Sweep:  si=3, to=1000, mp=3' 'DMT on port 2' 'si = 9' \
        'Prof = CLASS34.MDM, si = 9, port = COM3' \
        'Modem search result 1, description "USRobotics (tout mod\232le)", quit 0'
    expect_count 'Port=' 1
    expect_count 'Port=2, Comm Handle=' 1
    expect_heard COM3 '2400 ATE1QV1 OK' '38400 ATE1QV1 OK' '38400 AT&K3&Q5 ERROR' '38400 AT&H1&R2 OK'
}

# A port with nothing on it (COM1) costs one wait; the modem on COM2 answers at every speed
# and to the error-correction test; COM3 and COM4 open but are no serial lines.
case_com2_every_speed() {
    new_case com2-every-speed
    map_com COM1 silent
    map_com COM3 none
    map_com COM4 none
    start_modem COM2
    search
    expect_result 1
    assert_log_order 'Sweep:  si=3, to=1000, mp=4' 'Port=0, Comm Handle=*' 'Port=1, Comm Handle=*' \
        'DMT on port 1' 'si = 9' 'Prof = CLASS31.MDM, si = 9, port = COM2' \
        "Modem search result 1, description \"Compatible Hayes (correction d'erreur)\", quit 0"
    expect_count 'si = ' 1
    expect_heard COM2 '2400 ATE1QV1 OK' '38400 ATE1QV1 OK' '38400 AT&K3&Q5 OK'
}

# Answers the sweep at 2400 and then 19200, not 38400: indexes 9, 8 and 7 (7 keeps the
# 38400 of 8) go unanswered, 6 answers.
case_speed_19200() {
    new_case speed-19200
    start_modem COM1 --speeds 2400,19200 --reply 'AT&K3&Q5=ERROR' --reply 'AT&H1&R2=ERROR'
    search
    expect_result 1
    assert_log_order 'si = 9' 'si = 8' 'si = 7' 'si = 6' 'Prof = CLASS33.MDM, si = 6, port = COM1'
    expect_count 'si = ' 4
    expect_heard COM1 '2400 ATE1QV1 OK' '38400 ATE1QV1 -' '38400 ATE1QV1 -' '38400 ATE1QV1 -' \
        '19200 ATE1QV1 OK' '19200 AT&K3&Q5 ERROR' '19200 AT&H1&R2 ERROR'
}

# The modem on COM1 answers the first probe and then only "ERROR": its identification fails,
# which ends the first pass without trying COM2. The second pass starts again from COM1;
# COM2's modem, on a line another program left at 1200, answers there (this system does not
# build the 300 bit/s settings, blank and all, so that pass probes at the port's own speed).
# Its first answer in the identification comes at index 2: no class test, the basic class
# after a pause.
case_first_answer_1200() {
    new_case first-answer-1200
    start_modem COM1 --answers 1 --then ERROR
    start_modem COM2 --line 1200 --speeds 1200,300
    search
    expect_result 1
    assert_log_order 'Sweep:  si=3, to=1000, mp=2' 'DMT on port 0' 'si = 1' 'Sweep:  si=1, to=5000, mp=2' \
        'DMT on port 1' 'si = 9' 'si = 8' 'si = 7' 'si = 6' 'si = 5' 'si = 3' 'si = 2' \
        'Prof = CLASS33.MDM, si = 2, port = COM2' \
        'Modem search result 1, description "Non r\233pertori\233 (compatible Hayes de base)", quit 0'
    expect_count 'Port=1, ' 1
    expect_count 'DMT on port' 2
    [ "$(heard COM1 | wc -l)" = 10 ] || fail "$CASE: COM1 heard $(heard COM1)"
    [ "$(heard COM1 | grep -c ' ERROR$')" = 9 ] || fail "$CASE: COM1 heard $(heard COM1)"
    expect_heard COM2 '1200 ATE1QV1 OK' '38400 ATE1QV1 -' '38400 ATE1QV1 -' '38400 ATE1QV1 -' \
        '19200 ATE1QV1 -' '9600 ATE1QV1 -' '2400 ATE1QV1 -' '1200 ATE1QV1 OK'
}

# What is not an answer: "ERROR" (COM1), a lower-case "ok" (COM2), an "OK" that comes after
# the half-second the answer is given to complete (COM3). COM4 answers late, but before the
# deadline: found.
case_answers() {
    new_case answers
    start_modem COM1 --default ERROR
    start_modem COM2 --default ok
    start_modem COM3 --gap 1500
    start_modem COM4 --delay 1500
    search
    expect_result 1
    assert_log_order 'Port=0, Comm Handle=*' 'Port=1, Comm Handle=*' 'Port=2, Comm Handle=*' \
        'Port=3, Comm Handle=*' 'DMT on port 3' 'Prof = CLASS31.MDM, si = 9, port = COM4'
    expect_count 'DMT on port' 1
    expect_heard COM1 '2400 ATE1QV1 ERROR'
    expect_heard COM2 '2400 ATE1QV1 ok'
    expect_heard COM3 '2400 ATE1QV1 OK'
    expect_heard COM4 '2400 ATE1QV1 OK' '38400 ATE1QV1 OK' '38400 AT&K3&Q5 OK'
}

# An answer after the 3 s deadline is none (COM1), and when it comes in while the setup
# is busy with COM2 it is not taken for the answer to COM1's next probe: the input is purged
# before a command. Quit in 204 ends the search and the run.
case_late_then_quit() {
    new_case late-then-quit
    start_modem COM1 --no-echo --delay 4500
    map_com COM2 silent
    search "$(rules "$SEARCH => ignore" "$NOT_FOUND => press 403")"
    expect_result 0
    assert_log_order 'Sweep:  si=3, to=1000, mp=2' 'Sweep:  si=1, to=5000, mp=2' 'Modem not found: quit' \
        "$DEFAULTS" 'Modem search result 0, description "Non r\233pertori\233 (compatible Hayes de base)", quit 1'
    expect_count 'Port=' 4
    expect_count 'DMT on port' 0
    expect_heard COM1 '2400 ATE1QV1 OK' '2400 ATE1QV1 OK'
}

# Skip confirmed during the first pass: the attempt under way ends, no second pass.
case_skip() {
    new_case skip
    for n in 1 2 3 4; do map_com "COM$n" silent; done
    search "$(rules "$SEARCH max 1 => press 404" 'text "Souhaitez-vous ignorer" => press 6' \
        "$NOT_FOUND => press 404")"
    expect_result 0
    assert_robot_saw 'Souhaitez-vous ignorer cette étape ?'
    assert_log_order 'Sweep:  si=3, to=1000, mp=4' 'User aborted modem search' "$DEFAULTS"
    expect_count 'Sweep:' 1
    assert_robot_not_saw 'text="&Réessayer"'
}

# Quit confirmed during the first pass: the run is to end.
case_quit() {
    new_case quit
    for n in 1 2 3 4; do map_com "COM$n" silent; done
    search "$(rules "$SEARCH max 1 => press 403" 'id 407 => press 403' "$NOT_FOUND => press 404")"
    expect_result 0
    assert_log_order 'Sweep:  si=3, to=1000, mp=4' 'User exit' 'User aborted modem search' "$DEFAULTS" \
        'Modem search result 0, description "Non r\233pertori\233 (compatible Hayes de base)", quit 1'
    expect_count 'Sweep:' 1
    assert_robot_not_saw 'text="&Réessayer"'
}

# All cases, or those named in MODEM_CASES (e.g. MODEM_CASES="skip quit").
for name in ${MODEM_CASES:-no-port com3-only com2-every-speed speed-19200 first-answer-1200 answers late-then-quit skip quit}; do
    "case_${name//-/_}"
done
note "modem: cases passed"
