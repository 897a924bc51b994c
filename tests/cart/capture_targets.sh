#!/bin/sh
# Captures a cart asks for: after _map_display(7) a screenshot shows display
# 3, the one drawn on; a fixed name from set_filename names screenshots and
# GIFs; the desktop folder is made when the user has none, for captures and
# printh logs alike. A cart asking for both captures every frame for 90 frames
# gets at most one screenshot and one GIF a second of its time, and the log
# says why the others were not saved; a try whose write fails counts as one,
# so a folder that takes nothing costs no more than one with room.
# Usage: capture_targets.sh path/to/zibo6 path/to/tests/cart
set -u
WORK=$(mktemp -d "${TMPDIR:-/tmp}/capture_targets.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
mkdir "$WORK/user"
HOME="$WORK/user" timeout 120 "$1" -x "$2/carts/capture_targets.z6" -home "$WORK/home" \
    >"$WORK/out" 2>&1
rc=$?
grep -qx done "$WORK/out" && [ "$rc" = 0 ] ||
    { echo "FAIL: cart did not finish (exit status $rc)"; cat "$WORK/out"; exit 1; }
FAILS=0
check() { # check FILE EXPECTED X,Y...
    file=$1 want=$2
    shift 2
    [ -f "$file" ] || { echo "FAIL: no $file"; ls -R "$WORK"; FAILS=$((FAILS + 1)); return; }
    got=$(python3 "$(dirname "$0")/png_pixels.py" "$file" "$@")
    [ "$got" = "$want" ] || { echo "FAIL: $file: $got, expected $want"; FAILS=$((FAILS + 1)); }
}
# colour 11 in the corner, colour 8 beyond it: display 3 (display 0 is black)
check "$WORK/user/Desktop/capture_targets_0.png" "128x128 48d860 e83a3a" 0,0 20,20
check "$WORK/home/appdata/zibo-6/shot.png" "256x256 48d860 e83a3a" 19,19 20,20
[ -f "$WORK/user/Desktop/shot.gif" ] || { echo "FAIL: no Desktop/shot.gif"; FAILS=$((FAILS + 1)); }
[ "$(cat "$WORK/user/Desktop/note.z6l" 2>/dev/null)" = "to the desktop" ] || {
    echo "FAIL: no printh log on the desktop"; FAILS=$((FAILS + 1))
}
[ "$(find "$WORK" -name '*.png' -o -name '*.gif' | wc -l)" = 3 ] || {
    echo "FAIL: other captures written:"; find "$WORK" -name '*.png' -o -name '*.gif'
    FAILS=$((FAILS + 1))
}

# Both captures every frame for 90 frames, a 1-second clip at scale 1.
mkdir -p "$WORK/flood/home" "$WORK/flood/user"
echo "gif_len 1" >"$WORK/flood/home/config.txt"
cat >"$WORK/flood/capture_flood.z6" <<'EOF'
zibo-6 cartridge // captures asked for every frame
version 33
__lua__
f = 0
function _update() f += 1 end
function _draw()
  cls(f % 16)
  extcmd("screen", 1, 0)
  extcmd("video", 1, 0)
  if f == 90 then printh("done") stop() end
end
EOF
HOME="$WORK/flood/user" timeout 120 "$1" -x "$WORK/flood/capture_flood.z6" \
    -home "$WORK/flood/home" >"$WORK/out" 2>&1
rc=$?
grep -qx done "$WORK/out" && [ "$rc" = 0 ] ||
    { echo "FAIL: flood cart did not finish (exit status $rc)"; cat "$WORK/out"; exit 1; }
for kind in png gif; do
    n=$(find "$WORK/flood/user/Desktop" -name "capture_flood_*.$kind" | wc -l)
    # frames 1, 31 and 61 at most; a busy host may run fewer cart frames
    [ "$n" -ge 2 ] && [ "$n" -le 3 ] || {
        echo "FAIL: $n ${kind} files written, expected 2 or 3"; FAILS=$((FAILS + 1))
    }
done
for what in screenshot gif; do
    grep -q "not saved: at most one $what a second of cart time" "$WORK/flood/home/log.txt" ||
        { echo "FAIL: no refused $what logged"; FAILS=$((FAILS + 1)); }
done
python3 "$(dirname "$0")/png_pixels.py" "$WORK/flood/user/Desktop/capture_flood_0.png" 0,0 \
    >/dev/null || { echo "FAIL: capture_flood_0.png does not decode"; FAILS=$((FAILS + 1)); }
for gif in "$WORK/flood/user/Desktop"/capture_flood_*.gif; do
    [ "$(head -c 6 "$gif")" = GIF89a ] && [ "$(tail -c 1 "$gif")" = ";" ] ||
        { echo "FAIL: $gif is not a whole GIF"; FAILS=$((FAILS + 1)); }
done
# A large screenshot and GIF asked for every frame from the 10th to the 70th
# (a second at 60 frames a second) of a busy picture: into a folder with room,
# into a -desktop under a plain file (no folder can be made there) and onto a
# full disk (a file size limit of 8 KB stands in; both captures are larger).
# Each run tries at most two of each, says each failure, leaves no file, and
# spends at most twice the CPU time of the run with room.
cat >"$WORK/flood/capture_fails.z6" <<'EOF'
zibo-6 cartridge // large captures asked for every frame
version 33
__lua__
f = 0
srand(7)
for a = 0x6000, 0x7fff do poke(a, rnd(256)) end
function _update60() f += 1 end
function _draw()
  if f >= 10 then extcmd("screen", 16) extcmd("video", 4) end
  if f >= 70 then printh("done") stop() end
end
EOF
: >"$WORK/flood/plain"
PLAYER=$1
# fails_run NAME DESKTOP [BLOCKS]: output in NAME.out, "status cpu-seconds" in NAME.cpu
fails_run() {
    mkdir -p "$WORK/flood/$1"
    (
        # a write past the limit fails instead of ending the player (and python
        # passes the ignored signal on only with restore_signals=False)
        trap '' XFSZ
        [ $# -gt 2 ] && ulimit -f "$3"
        exec python3 -c 'import resource, subprocess, sys
status = subprocess.run(sys.argv[2:], restore_signals=False).returncode
use = resource.getrusage(resource.RUSAGE_CHILDREN)
open(sys.argv[1], "w").write("%d %.3f\n" % (status, use.ru_utime + use.ru_stime))' \
            "$WORK/flood/$1.cpu" timeout 600 "$PLAYER" -x "$WORK/flood/capture_fails.z6" \
            -home "$WORK/flood/$1" -desktop "$2"
    ) >"$WORK/flood/$1.out" 2>&1
    read -r rc cpu <"$WORK/flood/$1.cpu" || rc=none
    grep -qx done "$WORK/flood/$1.out" && [ "$rc" = 0 ] ||
        { echo "FAIL: $1: cart did not finish (exit status $rc)"; tail -5 "$WORK/flood/$1.out"; exit 1; }
}
fails_run room "$WORK/flood/room/desk"
room_cpu=$cpu
for kind in png gif; do
    n=$(find "$WORK/flood/room/desk" -name "capture_fails_*.$kind" | wc -l)
    [ "$n" -ge 1 ] && [ "$n" -le 2 ] || {
        echo "FAIL: room: $n ${kind} files written, expected 1 or 2"; FAILS=$((FAILS + 1))
    }
done
for run in nofolder full; do
    if [ $run = nofolder ]; then
        fails_run nofolder "$WORK/flood/plain/desk"
    else
        fails_run full "$WORK/flood/full/desk" 16
    fi
    for what in screenshot gif; do
        n=$(grep -c "^\*\* could not save $what\$" "$WORK/flood/$run.out")
        [ "$n" -ge 1 ] && [ "$n" -le 2 ] || {
            echo "FAIL: $run: $n ${what}s tried, expected 1 or 2"; FAILS=$((FAILS + 1))
        }
    done
    python3 -c 'import sys; sys.exit(float(sys.argv[1]) > 2 * float(sys.argv[2]))' "$cpu" "$room_cpu" ||
        { echo "FAIL: $run: $cpu s of CPU time against $room_cpu s with room"; FAILS=$((FAILS + 1)); }
done
[ -z "$(find "$WORK/flood/full" -name '*.png' -o -name '*.gif' -o -name '*.tmp')" ] ||
    { echo "FAIL: full: files left:"; find "$WORK/flood/full"; FAILS=$((FAILS + 1)); }
[ "$FAILS" = 0 ]
