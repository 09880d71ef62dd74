#!/usr/bin/env bash
# The kill campaign on the test machine: the demo setup program, beside an earlier
# installation and in place over it, ended abruptly at chosen file operations of its
# temporary copy (the copy that installs), then run again to the end as a user would run it
# (every default, and Yes to replacing the installation the first run may have finished).
# In place, a run between the two only starts the setup and quits at its first question: by
# then the killed run's journal has been finished, and the earlier installation must be what
# it was (every name, size, byte and time, its registry values and its WIN.INI lines) and its
# client must start; unless the killed run had committed its install, which then stands.
# After each pair of runs no file of the user's is lost: beside, the earlier installation
# is byte for byte what it was (the downloads the migration moves may be in the new folder
# instead); and every file of the user's is where the client looks for it, in the
# installation whose main database holds every record the migration carries (the second
# run's, or the first run's when its migration had gone through).
#   bench/faults-wine.sh [POINTS] [SCENARIOS]
# POINTS: write points spread over each run (default 10); SCENARIOS: "beside in-place".
# The program is setupkill.exe (tests/drivers/setupkill_win.cpp) with the demo package:
# setup.exe's own code, whose temporary copy ends itself at the nth call of one kind
# (KOV_END_AT), as TerminateProcess ends a killed task. Runs under -C so that the log on C:
# is written line by line and shows where each run ended.
set -uo pipefail
cd "$(dirname "$0")/.."
POINTS=${1:-10}
SCENARIOS=${2:-beside in-place}
export KOV_ARCH=$(bash scripts/arch.sh)
export KOV_SRC=$PWD KOV_WIN=$PWD/build/$KOV_ARCH KOV_HOST=$PWD/build/host
export KOV_MACHINE=$PWD/build/faults-machine WINEPREFIX=$PWD/build/faults-machine/prefix
export KOV_OUT=$PWD/build/faults-wine KOV_TEST=faults-wine KOV_TIMEOUT=${KOV_TIMEOUT:-240}
export KOV_SHOTS=0
unset KOV_END_AT KOV_CALLS
tests/machine/make-machine "$KOV_MACHINE" >/dev/null || { echo "faults-wine: no test machine" >&2; exit 1; }
trap 'tests/machine/stop-machine "$KOV_MACHINE" >/dev/null 2>&1' EXIT
. tests/e2e/lib.sh
. tests/e2e/wholerun_lib.sh
# lib.sh sets its own exit trap (the peer windows); the machine must stop after them.
trap 'stop_windows; tests/machine/stop-machine "$KOV_MACHINE" >/dev/null 2>&1' EXIT
[ -x "$KOV_WIN/setupkill.exe" ] || fail "no $KOV_WIN/setupkill.exe (make)"
[ -d "$DEMO_DIR/files" ] || fail "no $DEMO_DIR/files (make demo-package)"
"$KOVPACK" -q --stub "$KOV_WIN/setupkill.exe" --source "$DEMO_DIR/files" -o "$KOV_OUT/SETUP.EXE" \
    "$KOV_SRC/demo/kov30i.kovpack" || fail "kovpack"

EARLIER='C:\Kov30I'
# A rerun may find the installation the killed run had all but finished: a user who runs
# the setup again wants it replaced.
RERUN_RULES='text "Souhaitez-vous la remplacer" => press 6
'"$DEFAULT_RULES"
# In place: Afficher, the earlier folder kept, the destination typed as the earlier one.
IN_PLACE_RULES='id 401 id 402 => press 402
id 501 id 409 text "Vous avez une version ant" => press 408
id 501 id 409 text "Emplacement futur" => type 501 "C:\Kov30I" press 408
'"$DEFAULT_RULES"
# Starts the setup and quits at its first question (the quick reference guide): the start
# finishes an interrupted run's journal before it asks anything.
QUIT_RULES='id 415 id 406 => press 406
id 407 id 403 => press 403
'"$DEFAULT_RULES"
# Records of the earlier main database the migration carries: ids of the package's carried
# list and art the package's database lacks. "GID DATA" lines, checked after every rerun.
CARRIED=$KOV_OUT/carried.txt

# The earlier installation: the program, a main database with a user, a port, carried
# records and 200 art records (so that the record copy takes a good part of the run), the
# client's index beside it, and preserved files: kept ones, ones the migration copies and
# downloads it moves, some of them read-only.
lay_hostile_earlier() {
    lay_earlier_install "$EARLIER"
    local dir db
    dir=$(host_path "$EARLIER")
    db=$dir/IDB/MAIN.IDX
    if [ ! -s "$KOV_OUT/carried.db" ]; then
        : >"$CARRIED"
        local i gid
        for i in $(seq 0 15); do
            gid=$(printf '0x0001%02X%02X' "$i" "$i")
            "$KOVDB" set "$db" "$gid" --text "carried record $i" >/dev/null
            echo "$gid carried record $i" >>"$CARRIED"
        done
        for i in $(seq 1 200); do
            gid=$(printf '0x0100%04X' $((0x4000 + i)))
            "$KOVDB" set "$db" "$gid" --text "old art $i of the user" --type p >/dev/null
            echo "$gid old art $i of the user" >>"$CARRIED"
        done
        cp "$db" "$KOV_OUT/carried.db"
    else
        cp "$KOV_OUT/carried.db" "$db"
    fi
    # The earlier client is the demo client, which records each start beside itself.
    cp "$KOV_WIN/kov.exe" "$dir/kov.exe"
    mkdir -p "$dir/download" "$dir/organize" "$dir/mpm" "$dir/ccl"
    printf 'the user mail\r\n' >"$dir/IDB/USER.MAL"
    printf 'the address book\r\n' >"$dir/IDB/carnet.adr"
    printf '[goto]\r\nmine=1\r\n' >"$dir/goto.ini"
    printf '[modem]\r\nmine=1\r\n' >"$dir/mpm/modem.ini"
    printf 'script\r\n' >"$dir/ccl/mien.ccl"
    printf 'a folder of mail\r\n' >"$dir/organize/boite.fld"
    local n
    if [ ! -d "$KOV_OUT/downloads" ]; then
        mkdir -p "$KOV_OUT/downloads"
        for n in $(seq 1 12); do head -c $((n * 3000)) /dev/urandom >"$KOV_OUT/downloads/fichier$n.zip"; done
    fi
    cp "$KOV_OUT/downloads"/* "$dir/download/"
    # The client's own index of its database, and read-only files among the preserved ones
    # (Wine gives a file nobody may write the read-only attribute).
    printf 'the client index\r\n' >"$dir/IDB/MAIN.IND"
    chmod 0444 "$dir/goto.ini" "$dir/IDB/USER.MAL" "$dir/download/fichier3.zip"
    touch -d 2020-01-01 "$db"
}

# The earlier installation as its user would compare it: every folder's name, every file's
# name, size, time and md5; the registry keys the setup writes under; the [WKOV] lines of
# WIN.INI.
earlier_state() {
    local dir key
    dir=$(host_path "$EARLIER")
    (cd "$dir" && find . -mindepth 1 -type d -printf 'folder %P\n' | sort &&
        find . -type f -printf '%P %s %T@\n' | sort && tree_sums .)
    for key in 'HKLM\SOFTWARE\Tavelin Online' 'HKCU\Software\Tavelin Online' \
        'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Tavelin Online'; do
        echo "[$key]"
        # Each value with its key, sorted: the order the registry lists values in is not theirs.
        "$KOV_SRC/tests/machine/wine-run" reg query "$key" /s 2>/dev/null | tr -d '\r' |
            awk '/^HKEY_/ { key = $0; print key; next } NF { print key ":" $0 }' | sort
    done
    echo "[win.ini WKOV]"
    machine_file 'C:\WINDOWS\win.ini' | sed -n '/^\[WKOV\]/,/^\[/p' | grep -v '^\[' | sort
}

# After a killed in-place run, the next start of the setup (which quits at once) finishes
# its journal: the earlier installation as it was and its client starting, or the killed
# run's install committed. Prints "" when that held; counts the earlier installations found
# whole in $KOV_OUT/restored.
check_restored() {
    local why= journal committed=
    # The killed run had committed when its journal says the step went through, or when the
    # journal is gone after its log said so.
    journal=$(host_path "$EARLIER\SETUPBAK\JOURNAL.TXT")
    if grep -q '^DONE' "$journal" 2>/dev/null ||
        { [ ! -e "$journal" ] && machine_file 'C:\setup.log' | grep -q '^Install committed'; }; then
        committed=1
    fi
    run_killable "" "$QUIT_RULES" >&2
    [ ! -e "$(host_path "$EARLIER\SETUPBAK")" ] || why+="the backup folder stayed; "
    [ ! -e "$(host_path 'C:\setup.jnl')" ] || why+="the journal's pointer stayed; "
    if [ -n "$committed" ]; then
        printf '%s' "$why"
        return
    fi
    earlier_state >"$KOV_OUT/state-after"
    diff -q "$KOV_OUT/state-before" "$KOV_OUT/state-after" >/dev/null ||
        why+="the earlier installation is not as it was: $(diff "$KOV_OUT/state-before" "$KOV_OUT/state-after" | grep '^[<>]' | head -3 | tr '\n' ' '); "
    local run=$(host_path "$EARLIER\kovrun.log")
    rm -f "$run"
    run_plain "$EARLIER\kov.exe" --close 300 >&2
    for i in $(seq 50); do [ -s "$run" ] && break; sleep 0.2; done
    grep -qF "installation: $EARLIER" <(tr -d '\r' <"$run" 2>/dev/null) ||
        why+="the earlier client did not start; "
    rm -f "$run"
    [ -z "$why" ] && echo restored >>"$KOV_OUT/restored"
    printf '%s' "$why"
}

# md5 and path of every file under a folder, relative to it.
tree_sums() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 md5sum); }

# Runs the setup with the kill switch set ("" for none); counts go to $KOV_OUT/calls.txt.
run_killable() {   # KOV_END_AT RULES
    rm -f "$KOV_OUT/calls.txt"
    KOV_END_AT=$1 KOV_CALLS=$(win_path_of_host "$KOV_OUT/calls.txt") run_setup "$2" -M -C
}

# The destination a run reported ("Path X OK", or the one typed), from the log on C:.
run_destination() {
    machine_file 'C:\setup.log' | sed -n 's/^Path \(.*\) OK$/\1/p; s/^Dest path changed: //p' | tail -1
}

# Where a file of the earlier installation is for the client: under its own name, or under
# the name the script's preserved-file actions give it ("*.old").
preserved_names() {   # ./PATH
    printf '%s\n' "$1"
    case "$1" in
    ./ccl/*.ccl | ./mpm/modem.ini) printf '%s\n' "${1%.*}.old" ;;
    esac
}

# The check after a killed run and its rerun; prints "" when every promise held.
check_after() {
    local why= dest newdb gid data got
    dest=$(run_destination)
    machine_file 'C:\setup.log' | grep -q '^Fatal error' && why+="the rerun ended with an error; "
    [ -n "$dest" ] || why+="the rerun named no destination; "
    # The records are in the rerun's new database; or, when the killed run's migration had
    # gone through, in that run's: a finished new database has no users yet, so the rerun
    # does not take it for an earlier installation and has nothing to carry from it. That
    # installation is the one the client of the user's data runs from.
    local where= candidate missing
    for candidate in "$dest" ${FIRST_DEST:+"$FIRST_DEST"}; do
        newdb=$(host_path "$candidate\\IDB\\MAIN.IDX")
        missing=0
        while read -r gid data; do
            got=$("$KOVDB" get "$newdb" "$gid" 2>/dev/null)
            [ "$got" = "$data" ] || { missing=1; break; }
        done <"$CARRIED"
        [ "$("$KOVDB" get "$newdb" 0x14000015 2>/dev/null | od -An -tx1 | tr -d ' ')" = 00000003 ] ||
            missing=1
        [ "$missing" = 0 ] && { where=$candidate; break; }
    done
    if [ -z "$where" ]; then
        why+="records not carried into $dest${FIRST_DEST:+ nor $FIRST_DEST}; "
    elif [ "$where" != "$dest" ]; then
        echo "carried by the first run into $where" >"$KOV_OUT/where"
    fi
    local sum name found
    if [ "$SCENARIO" = beside ]; then
        # Unchanged but for the downloads, which the migration moves into the new folder.
        tree_sums "$(host_path "$EARLIER")" | grep -v ' ./download/' >"$KOV_OUT/after.sums"
        diff -q "$KOV_OUT/kept.sums" "$KOV_OUT/after.sums" >/dev/null ||
            why+="the earlier installation changed: $(diff "$KOV_OUT/kept.sums" "$KOV_OUT/after.sums" | head -3 | tr '\n' ' '); "
    fi
    # Every file of the user's where the client looks for it: in the installation that holds
    # the records, under its own name or its preserved one. A download may still be in the
    # earlier installation's folder when the move was not done, or in the killed run's own
    # folder when its migration had moved it there: a rerun that does not take that folder
    # for an installation (no user list yet) installs beside it.
    if [ -n "$where" ]; then
        while read -r sum name; do
            found=
            for candidate in $(preserved_names "$name"); do
                for dir in "$(host_path "$where")" "$(host_path "$EARLIER")" \
                    ${FIRST_DEST:+"$(host_path "$FIRST_DEST")"}; do
                    [ "$dir" != "$(host_path "$where")" ] && [ "${name#./download/}" = "$name" ] &&
                        [ "$SCENARIO" = beside ] && continue
                    # Names are compared as Windows compares them: without regard to case.
                    local file
                    while IFS= read -r -d '' file; do
                        [ "$(md5sum <"$file" | cut -d' ' -f1)" = "$sum" ] && found=1
                    done < <(find "$dir" -ipath "$dir/${candidate#./}" -type f -print0 2>/dev/null)
                done
            done
            [ -n "$found" ] || why+="user file not where the client looks: $name; "
        done < <(cat "$KOV_OUT/user.sums" "$KOV_OUT/downloads.sums" | sort -u -k2)
    fi
    printf '%s' "$why"
}

fresh_machine() {
    machine_reset --registry
    start_progman
    lay_hostile_earlier
    put_file "$KOV_OUT/SETUP.EXE" 'D:\SETUP.EXE'
}

count() { tr -d '\r' <"$KOV_OUT/calls.txt" | sed -n "s/^$1 //p"; }

# Where a run stood when it ended, from its last log line; the line goes to last-line.
phase_of() {
    local all last
    all=$(machine_file 'C:\setup.log')
    last=$(tail -1 <<<"$all")
    printf '%s\n' "$last" >"$KOV_OUT/last-line"
    case "$last" in
    Copy:* | "Copy failed" | "Couldn't delete"*) echo "folder transfer" ;;
    "Wrote GID"*) echo "migration, record copy" ;;
    "Uninstall entry"* | "Created shortcut"* | "Profile mark"* | "Deleted file"* | "Install record"* | \
        "Second DDE"* | "Cleared INI"* | "WWWUseRapidWeb"* | "No help contents"*)
        echo "registration and closing" ;;
    *)
        if grep -q '^Migrating into' <<<"$all"; then echo "migration"
        elif grep -q '^Path .* OK$\|^Preparing dest dir' <<<"$all"; then echo "extraction"
        else echo "before the install"; fi ;;
    esac
}

tried=0 recovered=0
rm -f "$KOV_OUT/phases" "$KOV_OUT/restored"
for SCENARIO in $SCENARIOS; do
    case $SCENARIO in
    beside) FIRST_RULES=$DEFAULT_RULES ;;
    in-place) FIRST_RULES=$IN_PLACE_RULES ;;
    *) fail "unknown scenario $SCENARIO" ;;
    esac
    note "$SCENARIO: a clean run counts the file operations of the temporary copy"
    fresh_machine
    tree_sums "$(host_path "$EARLIER")" | grep -v ' ./download/' >"$KOV_OUT/kept.sums"
    tree_sums "$(host_path "$EARLIER")" | grep ' ./download/' >"$KOV_OUT/downloads.sums"
    tree_sums "$(host_path "$EARLIER")" | grep -v ' ./WKOV.EXE$\| ./kov.exe$\| ./IDB/MAIN.IDX$\| ./IDB/MAIN.IND$' >"$KOV_OUT/user.sums"
    start=$(date +%s)
    FIRST_DEST=
    run_killable "" "$FIRST_RULES"
    clean_seconds=$(($(date +%s) - start))
    [ -s "$KOV_OUT/calls.txt" ] || fail "the clean run wrote no counts"
    why=$(check_after)
    [ -z "$why" ] || fail "$SCENARIO, the clean run: $why"
    machine_file 'C:\setup.log' >"$KOV_OUT/clean-$SCENARIO.log"
    writes=$(count write) renames=$(count rename) deletes=$(count delete) opens=$(count open_write)
    note "clean run: $clean_seconds s; $writes writes, $opens opens for writing, $renames renames, $deletes deletes"

    points=()
    for i in $(seq 1 "$POINTS"); do points+=("write $((writes * i / (POINTS + 1)))"); done
    points+=("open_write $((opens / 3))" "open_write $((opens * 2 / 3))")
    for i in $(seq 1 "$renames"); do points+=("rename $i"); done
    # The last deletes: the moved downloads' sources, the old database of an in-place
    # install, the client's index and the library.
    for back in 0 1 2 3 6 10; do [ "$deletes" -gt "$back" ] && points+=("delete $((deletes - back))"); done

    for point in "${points[@]}"; do
        fresh_machine
        # Each machine lays the earlier installation anew, with times of its own.
        [ "$SCENARIO" = in-place ] && earlier_state >"$KOV_OUT/state-before"
        run_killable "$point" "$FIRST_RULES"
        phase=$(phase_of)
        # A run that went to its end writes its counts: then the point was never reached.
        killed=1
        [ -e "$KOV_OUT/calls.txt" ] && killed=0
        FIRST_DEST=$(run_destination)
        why=
        if [ "$SCENARIO" = in-place ] && [ "$killed" = 1 ]; then
            why=$(check_restored)
            [ -z "$why" ] || cp "$(host_path 'C:\setup.log')" "$KOV_OUT/unrestored-${point// /-}.log" 2>/dev/null
        fi
        rm -f "$(host_path 'C:\setup.log')" "$KOV_OUT/where"
        run_killable "" "$RERUN_RULES"
        why+=$(check_after)
        [ "$killed" = 1 ] || why="the first run was not ended there; $why"
        tried=$((tried + 1))
        if [ -z "$why" ]; then
            recovered=$((recovered + 1)); result=recovered
            [ -f "$KOV_OUT/where" ] && result+=" ($(cat "$KOV_OUT/where"))"
        else
            result="FAILED: $why"
            cp "$(host_path 'C:\setup.log')" "$KOV_OUT/failed-$SCENARIO-${point// /-}.log" 2>/dev/null
        fi
        echo "$SCENARIO, $phase" >>"$KOV_OUT/phases"
        printf '%-8s %-14s %-28s last line: %-44.44s %s\n' "$SCENARIO" "$point" "$phase" \
            "$(cat "$KOV_OUT/last-line")" "$result"
    done
done
echo
echo "kill points tried: $tried, recoveries that kept every record and file: $recovered"
echo "in place, earlier installations found exactly as they were (tree, registry, WIN.INI) with their client starting: $(cat "$KOV_OUT/restored" 2>/dev/null | wc -l)"
sort "$KOV_OUT/phases" | uniq -c | sed 's/^ */  /'
[ "$tried" = "$recovered" ]
