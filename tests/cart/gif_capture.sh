#!/bin/sh
# A cart records 40 frames one per flip and saves them as a GIF in the file
# output folder; a plain decoder checks the file against what was drawn.
# Usage: gif_capture.sh path/to/zibo6 path/to/tests/cart
set -u
WORK=$(mktemp -d "${TMPDIR:-/tmp}/gif_capture.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
timeout 120 "$1" -x "$2/carts/gif_frames.z6" -home "$WORK/home" >"$WORK/out" 2>&1
grep -q done "$WORK/out" || { echo "FAIL: cart did not finish"; cat "$WORK/out"; exit 1; }
GIF=$(find "$WORK/home" -name '*.gif' | head -1)
[ -n "$GIF" ] || { echo "FAIL: no gif written"; exit 1; }
python3 "$2/gif_decode.py" "$GIF"
