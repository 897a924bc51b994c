#!/bin/sh
# Captures a cart asks for: after _map_display(7) a screenshot shows display
# 3, the one drawn on; a fixed name from set_filename names screenshots and
# GIFs; the desktop folder is made when the user has none, for captures and
# printh logs alike. A cart asking for both captures every frame for 90 frames
# gets at most one screenshot and one GIF a second of its time, and the log
# says why the others were not saved.
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
[ "$FAILS" = 0 ]
