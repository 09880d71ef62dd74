#!/usr/bin/env bash
# Our installer beside the peer installer people would pick instead, on the same trees:
# install time, CPU time, system calls per file, bytes written, peak memory, image and
# package size, overhead.
#
# usage: bench/peer.sh [RUNS]          (default 5 runs of every installer on every payload)
#        PAYLOADS="demo big" KOV_BENCH=build/bench/peer bench/peer.sh
#
# Payloads: "demo", the demo client (demo/kov30i.kovpack over build/demo/files), and "big",
# 2,000 files and about 200 MB made by bench/make-payload.py (once, then kept).
# Installers, each built from the very same tree:
#   ours        SETUP.EXE (kovpack --stub setup.exe); its install step is timed through
#               installstep.exe, the same package on a driver that calls InstallFiles and
#               reads the clock around it (the setup's log has no time stamps); its library
#               reads the package directly
#   ours-archive the same with the library built without its direct entry (dunzip_record.dll
#               as dunzip32.dll), as a third-party library: a temporary archive per entry
#   zlib        makensis, zlib, not solid (the peer's default)
#   lzma-solid  makensis, lzma, solid
# The peer runs silently (/S /D=...); its time is its whole process. Every run starts from
# a fresh test machine (what an install wrote is removed first), with its wineserver up.
# Peak memory: the kernel's high-water mark of the installer process (bench/measure.py).
# Bytes written: what the installer process wrote to files, temporary archives included.
# CPU: user + system time of the installer process and of the Wine server during the run
# (every file operation and window call is a request to the server). Calls per file: one
# more run of each under strace -c, the installer's processes (-f) and, attached at the
# same time, the Wine server; system calls counted, divided by the payload's files.
# Overhead: for us setup.exe + dunzip32.dll; for the peer its EXE header, install code and
# CRC as makensis reports them (the image without its payload).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
payloads=${PAYLOADS:-demo big}
work=$(realpath -m "${KOV_BENCH:-$src/build/bench/peer}")
host=$src/build/host
# The pair measured follows the host (scripts/arch.sh): our i386 build against the peer's
# 32-bit stub, or on a host that cannot run 32-bit programs our 64-bit build against the
# peer's amd64-unicode stub.
export KOV_ARCH=$(bash "$src/scripts/arch.sh")
win=$src/build/$KOV_ARCH
if [ "$KOV_ARCH" = win64 ]; then peer_target=amd64-unicode; else peer_target=x86-ansi; fi
echo "measuring: ours from build/$KOV_ARCH against the peer's $peer_target stub ($(bash "$src/scripts/arch.sh" --why))" >&2
command -v makensis >/dev/null || { echo "makensis is missing (Debian package nsis)" >&2; exit 1; }
[ -x "$host/kovpack" ] && [ -f "$win/setup.exe" ] && [ -d "$src/build/demo/files" ] ||
    { echo "build first: make" >&2; exit 1; }
cmake --build "$win" --target setup dunzip32 dunzip_record installstep kov rm_kov -j2 >/dev/null
command -v strace >/dev/null || { echo "strace is missing (Debian package strace)" >&2; exit 1; }
installers="ours ours-archive zlib lzma-solid"
mkdir -p "$work"

export KOV_MACHINE=$work/machine
"$src/tests/machine/stop-machine" "$KOV_MACHINE" >/dev/null 2>&1 || true
rm -rf "$KOV_MACHINE"
"$src/tests/machine/make-machine" "$KOV_MACHINE" >/dev/null
trap '"$src/tests/machine/stop-machine" "$KOV_MACHINE" >/dev/null 2>&1 || true' EXIT
. "$src/tests/machine/env.sh"
c=$WINEPREFIX/drive_c
cdrom=$KOV_MACHINE/cdrom

size() { stat -c %s "$1"; }

# One payload: its tree and description, then the four images.
build_payload() {
    local name=$1 tree desc
    local out=$work/$name
    mkdir -p "$out"
    if [ "$name" = demo ]; then
        tree=$src/build/demo/files
        desc=$src/demo/kov30i.kovpack
        # As make lays it out, so that the demo measured is the demo shipped.
        python3 "$src/demo/make-files.py" "$desc" "$tree" --dunzip "$win/dunzip32.dll" \
            --client "$win/kov.exe" --kovdb "$host/kovdb" --uninstaller "$win/RM_KOV.EXE" >/dev/null
    else
        tree=$out/tree
        desc=$out/payload.kovpack
        if [ ! -f "$out/tree.done" ]; then
            python3 "$src/bench/make-payload.py" "$tree" "$desc" --dunzip "$win/dunzip32.dll" >&2
            touch "$out/tree.done"
        fi
        cp "$win/dunzip32.dll" "$tree/dunzip32.dll"  # the library of this build
    fi
    "$host/kovpack" -q --stub "$win/setup.exe" --source "$tree" -o "$out/SETUP.EXE" "$desc"
    "$host/kovpack" -q --stub "$win/installstep.exe" --source "$tree" -o "$out/STEP.EXE" "$desc"
    # The same package with the library that has only the record entry.
    cp "$tree/dunzip32.dll" "$out/dunzip32.direct"
    cp "$win/dunzip_record.dll" "$tree/dunzip32.dll"
    "$host/kovpack" -q --stub "$win/installstep.exe" --source "$tree" -o "$out/STEPA.EXE" "$desc"
    cp "$out/dunzip32.direct" "$tree/dunzip32.dll"
    local mode
    for mode in zlib lzma-solid; do
        python3 "$src/bench/nsis-script.py" "$desc" "$tree" "$out/$mode.nsi" "$out/$mode.exe" "$mode" "$peer_target"
        makensis -V4 "$out/$mode.nsi" >"$out/$mode.makensis.txt"
        # EXE header, install code and CRC: the first number of each line is what it takes.
        awk '/^EXE header size:|^Install code:|^CRC \(/ {
                 for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+$/) { s += $i; break } }
             END { print s }' "$out/$mode.makensis.txt" >"$out/$mode.overhead"
    done
    # System entries land in the system folder for both; a fresh machine has none of them.
    awk 'BEGIN { IGNORECASE = 1 } /^\[/ { f = tolower($0) == "[files]"; next }
         f && /^[Ss][Yy][Ss][Tt][Ee][Mm]\\/ { n = $1; sub(/^[^\\]*\\/, "", n); print n }' \
        "$desc" >"$out/system-files"
    echo "$tree"
}

# Removes what one install wrote, so that the next run meets a fresh machine.
fresh_machine() {
    local out=$1 f
    "$src/tests/machine/reset-machine" >/dev/null 2>&1 || true
    rm -rf "$c/Kov30I" "$c/PeerZ" "$c/PeerL" "$c/bench-step.txt"
    find "$c/windows" -maxdepth 1 -iname dosgame.pif -delete
    while read -r f; do
        [ -n "$f" ] && find "$c/windows/system" -maxdepth 1 -iname "$f" -delete
    done <"$out/system-files"
    sync
}

# The Wine server of the test machine: the wineserver (wineserver32 or wineserver64 on
# Debian) whose environment names its prefix.
server_pid() {
    local envf pid
    for envf in /proc/[0-9]*/environ; do
        pid=${envf#/proc/}; pid=${pid%/environ}
        case $(cat /proc/"$pid"/comm 2>/dev/null) in wineserver*) ;; *) continue ;; esac
        tr '\0' '\n' 2>/dev/null <"$envf" | grep -qxF "WINEPREFIX=$WINEPREFIX" && { echo "$pid"; return; }
    done
}

# One run: prints "SECONDS PEAK_KB WRITTEN_KB CPU_S SERVER_CPU_S". With TRACE set to a file
# stem, the run is made under strace instead (its times are not used): STEM.client and
# STEM.server receive the counts.
run_one() {
    local payload=$1 who=$2 out=$work/$1 line t tracer=() stracer=
    fresh_machine "$out"
    export KOV_SERVER_PID=$(server_pid)
    if [ -n "${TRACE:-}" ]; then
        tracer=(strace -f -c -o "$TRACE.client" --)
        strace -c -o "$TRACE.server" -p "$KOV_SERVER_PID" 2>/dev/null &
        stracer=$!
        sleep 0.5
    fi
    case $who in
    ours | ours-archive)
        if [ "$who" = ours ]; then cp "$out/STEP.EXE" "$cdrom/STEP.EXE"; else cp "$out/STEPA.EXE" "$cdrom/STEP.EXE"; fi
        line=$(python3 "$src/bench/measure.py" step.exe -- "${tracer[@]}" \
            "$src/tests/machine/wine-run" 'D:\STEP.EXE' 'C:\Kov30I' 'C:\bench-step.txt')
        t=$(head -1 "$c/bench-step.txt" | tr -d '\r')
        case $t in *" ok=1 "*) ;; *) echo "our install failed: $t" >&2; exit 1 ;; esac
        t=${t#install_s=}; t=${t%% *}
        ;;
    zlib | lzma-solid)
        local image=PEERZ.EXE dest='C:\PeerZ'
        [ "$who" = lzma-solid ] && { image=PEERL.EXE; dest='C:\PeerL'; }
        cp "$out/$who.exe" "$cdrom/$image"
        line=$(python3 "$src/bench/measure.py" "${image,,}" -- "${tracer[@]}" \
            "$src/tests/machine/wine-run" "D:\\$image" /S "/D=$dest")
        t=$(sed 's/.*wall=\([0-9.]*\).*/\1/' <<<"$line")
        ;;
    esac
    if [ -n "$stracer" ]; then
        kill -INT "$stracer" 2>/dev/null || true
        wait "$stracer" 2>/dev/null || true
    fi
    local peak written cpu server
    peak=$(sed 's/.*peak_kb=\([0-9]*\).*/\1/' <<<"$line")
    written=$(sed 's/.*written_kb=\([0-9]*\).*/\1/' <<<"$line")
    cpu=$(sed 's/.* cpu_s=\([0-9.]*\).*/\1/' <<<"$line")
    server=$(sed 's/.*server_cpu_s=\([0-9.-]*\).*/\1/' <<<"$line")
    echo "$t $peak $written $cpu $server"
}

# The calls of one strace -c summary: its total lines (an i386 program under Wine has one
# for its 32-bit calls and one for the 64-bit calls of its loader), added.
calls() { [ -s "$1" ] && awk '$NF == "total" { s += $4 } END { print s + 0 }' "$1" || echo 0; }

# min and median of a column of numbers
stats() { sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%s %s\n", v[1], m }'; }

results=$work/results.txt
: >"$results"
for payload in $payloads; do
    tree=$(build_payload "$payload")
    out=$work/$payload
    files=$(find "$tree" -type f | wc -l)
    bytes=$(find "$tree" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
    echo "payload $payload: $files files, $bytes bytes" >&2
    : >"$out/runs.txt"
    # One unmeasured run each first: the first programs on a fresh machine pay for its start.
    for who in $installers; do run_one "$payload" "$who" >/dev/null; done
    # System calls: one traced run each.
    for who in $installers; do TRACE=$out/$who run_one "$payload" "$who" >/dev/null; done
    # Interleaved, so that a slow spell of the machine falls on every installer alike.
    for r in $(seq "$runs"); do
        for who in $installers; do
            echo "$who $(run_one "$payload" "$who")" >>"$out/runs.txt"
        done
    done
    ours_over=$(($(size "$win/setup.exe") + $(size "$win/dunzip32.dll")))
    for who in $installers; do
        read -r tmin tmed < <(awk -v w="$who" '$1 == w { print $2 }' "$out/runs.txt" | stats)
        read -r pmin pmed < <(awk -v w="$who" '$1 == w { print $3 }' "$out/runs.txt" | stats)
        read -r wmin wmed < <(awk -v w="$who" '$1 == w { print $4 }' "$out/runs.txt" | stats)
        read -r cmin cmed < <(awk -v w="$who" '$1 == w { print $5 + $6 }' "$out/runs.txt" | stats)
        client=$(calls "$out/$who.client")
        server=$(calls "$out/$who.server")
        if [ "${who%-archive}" = ours ]; then
            image=$(size "$out/SETUP.EXE")
            over=$ours_over
        else
            image=$(size "$out/$who.exe")
            over=$(cat "$out/$who.overhead")
        fi
        echo "$payload $who $files $bytes $tmin $tmed $pmin $pmed $wmed $image $over $cmin $cmed $client $server" >>"$results"
    done
done

# The table: one row per payload and installer, then the ratios ours / peer.
awk -v runs="$runs" '
{ key = $1 " " $2; p[NR] = $1; w[NR] = $2; files[$1] = $3; bytes[$1] = $4
  tmin[key] = $5; tmed[key] = $6; pmin[key] = $7; pmed[key] = $8; wr[key] = $9
  img[key] = $10; ov[key] = $11; cmin[key] = $12; cmed[key] = $13; cl[key] = $14; sv[key] = $15
  n = NR }
END {
  printf "| payload | installer | install s (min / median of %d) | CPU s, installer + server (min / median) | calls per file, installer / server | written MB (/ payload) | peak memory MB (min / median) | image MB | payload MB | overhead KB |\n", runs
  print "|---|---|---|---|---|---|---|---|---|---|"
  for (i = 1; i <= n; i++) {
    k = p[i] " " w[i]
    label = p[i] == "demo" ? "demo (" files[p[i]] " files, " sprintf("%.1f", bytes[p[i]] / 1e6) " MB)" : \
            "generated (" files[p[i]] " files, " sprintf("%.1f", bytes[p[i]] / 1e6) " MB)"
    printf "| %s | %s | %.3f / %.3f | %.3f / %.3f | %.0f / %.0f | %.1f (%.3f) | %.1f / %.1f | %.2f | %.2f | %.1f |\n", label, w[i],
           tmin[k], tmed[k], cmin[k], cmed[k], cl[k] / files[p[i]], sv[k] / files[p[i]],
           wr[k] / 1024, wr[k] * 1024 / bytes[p[i]], pmin[k] / 1024, pmed[k] / 1024, img[k] / 1e6,
           (img[k] - ov[k]) / 1e6, ov[k] / 1024
  }
  print ""
  print "| payload | ratio | install time (median) | CPU (median) | calls per file (installer / server) | written | peak memory (median) | image | payload | overhead |"
  print "|---|---|---|---|---|---|---|---|---|---|"
  for (i = 1; i <= n; i++) {
    if (w[i] != "zlib" && w[i] != "lzma-solid") continue
    for (j = 0; j < 2; j++) {
      ours = j ? "ours-archive" : "ours"
      o = p[i] " " ours; k = p[i] " " w[i]
      printf "| %s | %s / %s | %.2f | %.2f | %.2f / %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", p[i], ours, w[i],
             tmed[o] / tmed[k], cmed[o] / cmed[k], cl[o] / cl[k], sv[o] / sv[k], wr[o] / wr[k],
             pmed[o] / pmed[k], img[o] / img[k], (img[o] - ov[o]) / (img[k] - ov[k]), ov[o] / ov[k]
    }
  }
  # A process start under Wine alone makes tens of thousands of calls, which the demo'"'"'s
  # 154 files cannot outweigh: with both payloads measured, the calls each further file
  # costs are the difference between them over the difference in files.
  if (!files["demo"] || !files["big"]) exit
  print ""
  print "| installer | calls per further file, installer / server (big - demo) |"
  print "|---|---|"
  for (i = 1; i <= n; i++) {
    if (p[i] != "big") continue
    b = "big " w[i]; d = "demo " w[i]; df = files["big"] - files["demo"]
    printf "| %s | %.1f / %.1f |\n", w[i], (cl[b] - cl[d]) / df, (sv[b] - sv[d]) / df
  }
}' "$results"
