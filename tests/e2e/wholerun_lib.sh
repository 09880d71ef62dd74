# The whole setup run on the test machine: the demo SETUP.EXE on the CD-ROM drive, the
# Program Manager peer, and the robot playing a user. Sourced by the wholerun scripts and
# by scripts/demo.sh after tests/e2e/lib.sh.
KOVDB=${KOVDB:-$KOV_HOST/kovdb}
KOVPACK=${KOVPACK:-$KOV_HOST/kovpack}
DEMO_DIR=${DEMO_DIR:-$KOV_SRC/build/demo}
# make builds the demo package for the Windows tree this host tests; one made for the other
# tree carries a library this tree's setup cannot load (fatal 13), so say so at once.
if [ -f "$DEMO_DIR/files/dunzip32.dll" ] && ! cmp -s "$DEMO_DIR/files/dunzip32.dll" "$KOV_WIN/dunzip32.dll"; then
    fail "$DEMO_DIR was built for another Windows tree than $KOV_WIN: run make (KOV_ARCH=${KOV_ARCH:-win32})"
fi
CHAINED_LOG='C:\chained.log'

# Runs PROGRAM through launch.exe with the robot answering by RULES, and sets EXIT to the
# whole exit code (a shell sees only its low byte).
EXIT=
launch_with_robot() {   # RULES PROGRAM ARGS...
    local rules=$1; shift
    rm -f "$KOV_C/exit.txt"
    ROBOT_WATCH=setupthp.exe,SETUP.EXE run_with_robot "$rules" "$KOV_WIN/launch.exe" --out 'C:\exit.txt' "$@"
    EXIT=$(tr -d '\r' <"$KOV_C/exit.txt" 2>/dev/null | sed -n 's/^exit=//p')
    [ -n "$EXIT" ] || fail "no exit code from $*"
}

# Accepts every default: prints the guide never, installs, keeps the shortcut choice, OK
# on the closing notices, and no restart unless the rules of a case say so.
DEFAULT_RULES='# the quick reference guide: go on without printing
id 415 id 408 => press 408
# welcome (201 or 223): install
id 401 id 402 => press 401
# shortcut choice
id 505 => press 1
# a shortcut that cannot be made (after the drive changes of some cases): give it up
text "Impossible de cr" => press 2
# the downloads of the earlier installation: move them
text "ancien dossier DOWNLOAD" => press 6
# closing notices
text "Vous pouvez utiliser KOV" => press 408
# a fatal error: OK (the run ends; the scripts look at the log)
caption "Installation" text "Erreur (n" => press 1'

# Starts the PROGMAN peer (the group needs a Program Manager); its log is $PM_LOG.
start_progman() {
    PM_LOG=$KOV_OUT/progman.log
    progman_peer "$PM_LOG" 300000
}

# An earlier installation of the client made with kovdb: its program, a main database
# with a user list, a modem port and a version, and the registry's AppPath.
lay_earlier_install() {   # FOLDER-ON-C
    local dir; dir=$(host_path "$1")
    mkdir -p "$dir/IDB" && printf MZ >"$dir/WKOV.EXE"
    "$KOVDB" create "$dir/IDB/MAIN.IDX" --id 0x01000401 >/dev/null
    "$KOVDB" set "$dir/IDB/MAIN.IDX" 0x14000010 --hex 014a65616e000000000000007365637265740000000000 >/dev/null
    "$KOVDB" set "$dir/IDB/MAIN.IDX" 0x14000015 --number 3 >/dev/null
    "$KOVDB" set "$dir/IDB/MAIN.IDX" 0x14000006 --hex 00030100 >/dev/null
    # The kind the demo script expects: kind 33, code 1.
    "$KOVDB" set "$dir/IDB/MAIN.IDX" 0x1400006D --hex 21 >/dev/null
    "$KOVDB" set "$dir/IDB/MAIN.IDX" 0x14000068 --hex 00000100 >/dev/null
    "$KOV_SRC/tests/machine/wine-run" reg add 'HKLM\SOFTWARE\Tavelin Online\KOV\CurrentVersion' \
        /v AppPath /d "$1" /f >/dev/null 2>&1
}

# A setup program built from the demo description with some settings changed:
#   make_setup OUT KEY=VALUE ... @LIST=ROW ... +NAME=HOSTFILE ...
# KEY=VALUE replaces a [Setup] line, @LIST=ROW adds a row to a list section, +NAME=HOSTFILE
# adds a file to the package (after the others: the decompressor stays the first entry) or
# replaces the contents of a file the package already has.
make_setup() {
    local out=$1; shift
    local work=$KOV_OUT/pkg-$(basename "$out")
    rm -rf "$work"; mkdir -p "$work"
    cp -r "$DEMO_DIR/files" "$work/files"
    python3 - "$KOV_SRC/demo/kov30i.kovpack" "$work/desc.kovpack" "$work/files" "$@" <<'PY' ||
import shutil, sys
src, dst, files = sys.argv[1:4]
sets, rows, adds = {}, {}, []
for a in sys.argv[4:]:
    k, v = a.split("=", 1)
    if k.startswith("+"):
        adds.append((k[1:], v))
    elif k.startswith("@"):
        rows.setdefault(k[1:].lower(), []).append(v)
    else:
        sets[k] = v
out, section = [], None
for line in open(src, encoding="cp1252").read().splitlines():
    s = line.strip()
    if s.startswith("["):
        section = s.strip("[]").lower()
    if section == "setup" and "=" in s and not s.startswith(";"):
        k = s.split("=", 1)[0].strip()
        if k in sets:
            line = "%s = %s" % (k, sets.pop(k))
    out.append(line)
    if s.startswith("["):
        out.extend(rows.pop(section, []))
import os
for name, host in adds:
    target = os.path.join(files, *name.split("\\"))
    existing = os.path.join(files, *name.lower().split("\\"))
    if os.path.exists(existing):
        shutil.copyfile(host, existing)
    else:
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(host, target)
        out.append(name)
open(dst, "w", encoding="cp1252").write("\n".join(out) + "\n")
if sets or rows:
    sys.exit("make_setup: unknown %s" % (list(sets) + list(rows)))
PY
        fail "make_setup: bad settings"
    "$KOVPACK" -q --stub "$KOV_WIN/setup.exe" --source "$work/files" -o "$out" "$work/desc.kovpack" ||
        fail "kovpack failed for $out"
}

# Runs D:\SETUP.EXE with the robot; waits for the relaunched copy too (the robot watches
# setupthp.exe) and then for every program of the machine to end.
run_setup() {   # RULES ARGS...
    local rules=$1; shift
    run_with_robot "$rules" 'D:\SETUP.EXE' "$@"
}

# The log a run left: setup.log in the destination, or C:\setup.log.
LOG=
find_log() {   # WINDOWS-PATH
    LOG=$1
    machine_file "$LOG" >/dev/null || fail "no $LOG"
}
