#!/usr/bin/env bash
# The machine scripts leave nothing running: a machine made and stopped, and a machine whose
# making failed (a wineboot that cannot run, as on a host that refuses 32-bit programs),
# leave no display, wineserver or Wine process behind; the failure says why.
set -uo pipefail
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d "${TMPDIR:-/tmp}/kov-cleanup.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# What still runs for the machine in DIR: its display server and any process of its prefix.
left() {
    local dir=$1 pid
    for pid in $(pgrep -f "$dir" 2>/dev/null); do
        [ "$pid" = $$ ] || ps -o pid=,args= -p "$pid" 2>/dev/null
    done
    [ -f "$dir/xvfb.pid" ] && ps -o pid=,args= -p "$(cat "$dir/xvfb.pid")" 2>/dev/null
    # Wine processes do not carry the prefix on their command line: ask the environment.
    for pid in $(pgrep -f 'wineserver|winedevice|services.exe|explorer.exe|plugplay.exe' 2>/dev/null); do
        tr "\\0" "\\n" 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$dir/prefix" &&
            ps -o pid=,args= -p "$pid"
    done
    return 0
}

good=$work/good
"$here/make-machine" "$good" >/dev/null || fail "the machine could not be made"
"$here/stop-machine" "$good"
sleep 1
rest=$(left "$good")
[ -z "$rest" ] || fail "left running after stop-machine: $rest"
echo "-- made and stopped: nothing left"

# A wineboot that fails as the 32-bit loader fails on such a host.
bad=$work/bad
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "/usr/lib/wine/wine: Exec format error" >&2\nexit 126\n' >"$work/bin/wineboot"
chmod +x "$work/bin/wineboot"
msg=$(PATH=$work/bin:$PATH KOV_ARCH=win32 "$here/make-machine" "$bad" 2>&1 >/dev/null) &&
    fail "make-machine succeeded with a wineboot that cannot run"
grep -q "cannot run 32-bit programs" <<<"$msg" || fail "the failure does not say why: $msg"
sleep 1
rest=$(left "$bad")
[ -z "$rest" ] || fail "left running after a failed make-machine: $rest"
echo "-- failed ($msg): nothing left"
