#!/bin/sh
# A cart records 40 frames one per flip and saves them twice, at scale 1 and 2,
# as GIFs in the file output folder. The run must end with status 0 and no
# sanitizer report (a leaked clip shows as one at exit), and a plain decoder
# checks every frame of both files against what was drawn.
# Usage: gif_capture.sh path/to/zibo6 path/to/tests/cart
set -u
WORK=$(mktemp -d "${TMPDIR:-/tmp}/gif_capture.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
timeout 120 "$1" -x "$2/carts/gif_frames.z6" -home "$WORK/home" >"$WORK/out" 2>&1
status=$?
fail() { echo "FAIL: $1"; cat "$WORK/out"; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status"
! grep -q 'Sanitizer' "$WORK/out" || fail "sanitizer report"
grep -qx done "$WORK/out" || fail "cart did not finish"
OUT=$(find "$WORK/home" -name 'gif_frames_0.gif' -exec dirname {} \;)
[ -n "$OUT" ] || fail "no gif written"
python3 "$2/gif_decode.py" "$OUT/gif_frames_0.gif" 1 "$OUT/gif_frames_1.gif" 2 || fail "clip differs"
