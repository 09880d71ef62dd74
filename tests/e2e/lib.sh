# Helpers for the end-to-end scripts: run Win32 programs on the test machine with the robot
# answering their dialogs, look at what they left on the machine, take screenshots.
# Source it first thing:  . "$KOV_SRC/tests/e2e/lib.sh"
# ctest provides KOV_SRC, KOV_WIN (win32 build tree), KOV_HOST, KOV_MACHINE and WINEPREFIX.
# Every helper that checks something prints a message and exits the script with 1 when
# the check fails (after a screenshot), so a script is a plain list of steps.

set -uo pipefail
: "${KOV_SRC:?KOV_SRC must name the source tree}" "${KOV_WIN:?KOV_WIN must name the win32 build tree}"
. "$KOV_SRC/tests/machine/env.sh"

KOV_TEST=${KOV_TEST:-$(basename "${0%.sh}")}
# What a script leaves for people to look at: robot logs, screenshots, copies of setup.log.
KOV_OUT=${KOV_OUT:-$KOV_WIN/e2e-out/$KOV_TEST}
rm -rf "$KOV_OUT"; mkdir -p "$KOV_OUT"
KOV_C=$WINEPREFIX/drive_c         # C: on the host
KOV_CDROM=$KOV_MACHINE/cdrom      # D: on the host
KOV_TIMEOUT=${KOV_TIMEOUT:-90}    # seconds a program may run under the robot
ROBOT_LOG=                        # host path of the last robot log
RUN_STATUS=                       # exit status of the last program run
ROBOT_STATUS=                     # exit status of the last robot
KOV_WINDOW_PIDS=()
KOV_SHOTS=${KOV_SHOTS:-1}          # 1: the robot saves a picture of every window it sees

fail() {
    echo "FAIL: $*" >&2
    screenshot failure >/dev/null 2>&1 || true
    exit 1
}

note() { echo "-- $*"; }

# A host path as Windows sees it: '\\?\unix\work\...' (reaches any host file, no drive needed).
win_path_of_host() {
    local p; p=$(realpath -m "$1")
    printf '\\\\?\\unix%s' "${p//\//\\}"
}

# A Windows path on C: or D: as a host path, each part matched without regard to case as
# Windows does; parts that do not exist yet are kept as written.
host_path() {
    local win=$1 base rest part found
    case "${win:0:2}" in
        [Cc]:) base=$KOV_C ;;
        [Dd]:) base=$KOV_CDROM ;;
        *) echo "host_path: not a C: or D: path: $win" >&2; return 1 ;;
    esac
    rest=${win:2}; rest=${rest//\\//}
    local IFS=/
    for part in $rest; do
        [ -z "$part" ] && continue
        found=
        if [ -d "$base" ]; then
            found=$(find "$base" -mindepth 1 -maxdepth 1 -iname "$(printf '%s' "$part" | sed 's/[][*?\\]/\\&/g')" -print -quit 2>/dev/null)
        fi
        base=${found:-$base/$part}
    done
    printf '%s\n' "$base"
}

# Puts a host file on the machine: put_file HOSTFILE 'D:\SETUP.EXE'
put_file() {
    local dest; dest=$(host_path "$2")
    mkdir -p "$(dirname "$dest")" && cp "$1" "$dest"
}

# Starts window.exe CLASS [TITLE] in the background and waits until it shows. Its pid goes
# to KOV_WINDOW_PIDS; it is not a job of the script, so killing it stays quiet.
start_window() {
    local out="$KOV_OUT/window-$1.out" pid
    pid=$( ("$KOV_SRC/tests/machine/wine-run" "$KOV_WIN/window.exe" "$@" >"$out" 2>/dev/null </dev/null & echo $!) )
    KOV_WINDOW_PIDS+=("$pid")
    local i
    for i in $(seq 200); do grep -q READY "$out" 2>/dev/null && return 0; sleep 0.05; done
    fail "window $1 did not show"
}

stop_windows() {
    local p i
    for p in "${KOV_WINDOW_PIDS[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${KOV_WINDOW_PIDS[@]}"; do
        for i in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    done
    KOV_WINDOW_PIDS=()
}

# The test machine never restarts: every run records the setup's restart call in a file of
# its own (KOV_RESTART_RECORD, read by the seam's restart) instead. A restart is right only
# when the user agreed to it: the robot pressed the restart button of a restart question
# (218, 233, or Oui to 34019), or the run was unattended with an answer file that says
# Restart = allow. Any other restart call fails the run; RESTARTS counts the last run's.
RESTARTS=0
restart_record() { printf '%s/restart-%s.txt' "$KOV_OUT" "$KOV_RUNS"; }
robot_agreed_to_restart() {
    [ -n "$ROBOT_LOG" ] && [ -f "$ROBOT_LOG" ] || return 1
    awk '
        /^WINDOW / { match($0, /hwnd=0x[0-9a-fA-F]+/); win = substr($0, RSTART + 5, RLENGTH - 5) }
        /^CONTROL id=408 .*text="(Redémarrer &maintenant|Restart &Now)"/ { button[win] = 408 }
        /^CONTROL id=65535 .*redémarrer Windows maintenant/ { button[win] = 6 }
        /^RULE / { match($0, /hwnd=0x[0-9a-fA-F]+/); rule = substr($0, RSTART + 5, RLENGTH - 5) }
        /^ACTION / { if ((rule in button) && $0 ~ ("press " button[rule] "( |$)")) agreed = 1 }
        END { exit !agreed }' "$ROBOT_LOG"
}
answers_allow_restart() {   # the run's arguments
    local a file=
    while [ $# -gt 0 ]; do
        a=$1; shift
        case "$a" in -[Uu]|/[Uu]) file=${1:-}; break ;; esac
    done
    [ -n "$file" ] && [ "${file:0:1}" != - ] && [ "${file:0:1}" != / ] || return 1
    file=${file#\"}; file=${file%\"}
    tr -d '\r' <"$(host_path "$file")" 2>/dev/null | grep -qiE '^[[:space:]]*restart[[:space:]]*=[[:space:]]*allow'
}
check_restart() {   # ROBOT(0|1) ARGS...
    local robot=$1 record; shift
    record=$(restart_record)
    RESTARTS=0
    [ -f "$record" ] || return 0
    RESTARTS=$(grep -c . "$record")
    if { [ "$robot" = 1 ] && robot_agreed_to_restart; } || answers_allow_restart "$@"; then return 0; fi
    fail "run $KOV_RUNS ($*) asked Windows to restart ($(head -1 "$record" | tr -d '\r')) though nobody agreed to it"
}

# Runs a program on the machine while the robot answers its windows.
#   run_with_robot RULES PROGRAM [ARGS...]
# RULES is a rule file or the rules themselves as text (see tests/peers/README.md); "" for
# none. PROGRAM is a host path or a Windows path ('D:\SETUP.EXE'). The robot watches until
# no process named like PROGRAM (or in $ROBOT_WATCH, comma-separated, default
# setupthp.exe) is left, or KOV_TIMEOUT runs out. ROBOT_FOLLOW (control ids, comma-separated)
# has the robot log each change of those controls. Sets RUN_STATUS, ROBOT_STATUS, ROBOT_LOG.
KOV_RUNS=0
run_with_robot() {
    local rules=$1 program=$2; shift 2
    KOV_RUNS=$((KOV_RUNS + 1))
    ROBOT_LOG=$KOV_OUT/robot-$KOV_RUNS.log
    local rules_file=$KOV_OUT/rules-$KOV_RUNS.txt
    if [ -n "$rules" ] && [ -f "$rules" ]; then cp "$rules" "$rules_file"; else printf '%s\n' "$rules" >"$rules_file"; fi
    local image=${program##*[\\/]}
    local watch=$image,${ROBOT_WATCH:-setupthp.exe}
    local stop=$KOV_OUT/stop-$KOV_RUNS shots=()
    rm -f "$ROBOT_LOG" "$stop"
    if [ "$KOV_SHOTS" = 1 ]; then
        mkdir -p "$KOV_OUT/shots-$KOV_RUNS"
        shots=(--shots "$(win_path_of_host "$KOV_OUT/shots-$KOV_RUNS")")
    fi
    "$KOV_SRC/tests/machine/wine-run" "$KOV_WIN/robot.exe" --log "$(win_path_of_host "$ROBOT_LOG")" "${shots[@]}" \
        --rules "$(win_path_of_host "$rules_file")" --until-gone "$watch" \
        --stop "$(win_path_of_host "$stop")" \
        --appear 20000 --timeout $((KOV_TIMEOUT * 1000)) ${ROBOT_FOLLOW:+--follow "$ROBOT_FOLLOW"} >/dev/null 2>&1 &
    local robot=$! i
    for i in $(seq 300); do grep -q '^READY' "$ROBOT_LOG" 2>/dev/null && break; sleep 0.05; done
    grep -q '^READY' "$ROBOT_LOG" 2>/dev/null || { kill $robot 2>/dev/null; cat "$ROBOT_LOG" 2>/dev/null; fail "robot did not start"; }
    note "run $program $*"
    KOV_RESTART_RECORD=$(win_path_of_host "$(restart_record)") \
        timeout -k 5 "$KOV_TIMEOUT" "$KOV_SRC/tests/machine/wine-run" "$program" "$@" >"$KOV_OUT/run-$KOV_RUNS.out" 2>&1
    RUN_STATUS=$?
    # The robot ends once no watched program is left (a copy the program started may go on).
    touch "$stop"
    for i in $(seq $((KOV_TIMEOUT * 10))); do kill -0 $robot 2>/dev/null || break; sleep 0.1; done
    kill $robot 2>/dev/null
    wait $robot; ROBOT_STATUS=$?
    local bmp
    for bmp in "$KOV_OUT/shots-$KOV_RUNS"/*.bmp; do
        [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null && rm -f "$bmp"
    done
    [ $RUN_STATUS = 124 ] && fail "$program did not end within $KOV_TIMEOUT s"
    check_restart 1 "$@"
    return 0
}

# Runs a program without the robot; sets RUN_STATUS.
run_plain() {
    KOV_RUNS=$((KOV_RUNS + 1))
    ROBOT_LOG=
    KOV_RESTART_RECORD=$(win_path_of_host "$(restart_record)") \
        timeout -k 5 "$KOV_TIMEOUT" "$KOV_SRC/tests/machine/wine-run" "$@" >"$KOV_OUT/run-$KOV_RUNS.out" 2>&1
    RUN_STATUS=$?
    [ $RUN_STATUS = 124 ] && fail "$1 did not end within $KOV_TIMEOUT s"
    check_restart 0 "$@"
    return 0
}

# Robot log checks: TEXT is a fixed string searched in the whole log, e.g.
#   assert_robot_saw 'caption="Installation"'
assert_robot_saw() { grep -qF -- "$1" "$ROBOT_LOG" || { cat "$ROBOT_LOG" >&2; fail "robot did not see: $1"; }; }
assert_robot_not_saw() { ! grep -qF -- "$1" "$ROBOT_LOG" || { cat "$ROBOT_LOG" >&2; fail "robot saw: $1"; }; }
# Number of windows the robot logged (all, or of one class: robot_windows '#32770').
robot_windows() {
    if [ -n "${1:-}" ]; then grep -cF "class=\"$1\" caption=" "$ROBOT_LOG"; else grep -c '^WINDOW ' "$ROBOT_LOG"; fi
}

# A text file of the machine (default C:\setup.log) with CR LF turned into LF.
machine_file() {
    local f; f=$(host_path "${1:-C:\\setup.log}")
    [ -f "$f" ] || return 1
    tr -d '\r' <"$f"
}

# The line is in the file, exactly: assert_log_line 'Opt: Crash mode' ['C:\setup.log']
assert_log_line() {
    local file=${2:-C:\\setup.log} text
    text=$(machine_file "$file") || fail "no $file"
    grep -qxF -- "$1" <<<"$text" || { printf '%s\n' "$text" >&2; fail "$file lacks the line: $1"; }
}
assert_log_has() {
    local file=${2:-C:\\setup.log} text
    text=$(machine_file "$file") || fail "no $file"
    grep -qF -- "$1" <<<"$text" || { printf '%s\n' "$text" >&2; fail "$file lacks: $1"; }
}
assert_no_log_line() {
    local file=${2:-C:\\setup.log} text
    text=$(machine_file "$file") || return 0
    ! grep -qxF -- "$1" <<<"$text" || fail "$file has the line: $1"
}
assert_exists() { [ -e "$(host_path "$1")" ] || fail "$1 does not exist"; }
assert_missing() { [ ! -e "$(host_path "$1")" ] || fail "$1 exists"; }

# Saves a PNG of the machine's display as $KOV_OUT/NAME.png and prints its path.
screenshot() {
    bash "$KOV_SRC/scripts/screenshot.sh" "$KOV_OUT/$1.png"
}

# Takes the screenshot SECONDS from now, while a program runs: screenshot_later 2 welcome
screenshot_later() {
    ( sleep "$1"; screenshot "$2" ) >/dev/null 2>&1 </dev/null &
}

# Connects a serial port: map_com COM1 /dev/pts/N | silent | none (see tests/machine/map-com).
map_com() { "$KOV_SRC/tests/machine/map-com" "$@"; }

# Back to the fresh machine (files; --registry also the registry).
machine_reset() { stop_windows; "$KOV_SRC/tests/machine/reset-machine" "$@"; }

# Windows started with start_window go when the script ends.
trap 'stop_windows' EXIT

# Starts the Program Manager peer with OPTIONS, giving up after LIMIT ms, and waits until it
# is ready; its log is LOG. The scripts' start_progman wrappers choose the log and the limit.
progman_peer() {   # LOG LIMIT_MS [OPTIONS...]
    local log=$1 limit=$2 pid i
    shift 2
    pid=$( ("$KOV_SRC/tests/machine/wine-run" "$KOV_WIN/progman.exe" --log "$(win_path_of_host "$log")" \
        --timeout "$limit" "$@" >/dev/null 2>&1 </dev/null & echo $!) )
    KOV_WINDOW_PIDS+=("$pid")
    for i in $(seq 200); do grep -q '^READY' "$log" 2>/dev/null && return 0; sleep 0.05; done
    fail "progman peer did not start"
}
