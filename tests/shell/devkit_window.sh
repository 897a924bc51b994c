#!/bin/sh
# The player in a real window under Xvfb, with a data file whose head cart
# turns on devkit mode and echoes what it reads through stat: the characters
# typed, the mouse position and its buttons. xdotool types a word, moves the
# pointer to a known console pixel and holds the left button; the window must
# then show tests/shell/devkit_window.png. Skipped with a message where Xvfb,
# xdotool or xwd is missing.
# Usage: devkit_window.sh ZIBO6 MKDATAPOD WINDOWCMP SOURCE_DIR
set -u
PLAYER=$1
MKDATAPOD=$2
WINDOWCMP=$3
SRC=$4
EXPECTED=$SRC/tests/shell/devkit_window.png
NAME=devkit_window
. "$SRC/tests/support/window_lib.sh"
need_tools 0 Xvfb xdotool xwd

head_cart_player "$PLAYER" "$MKDATAPOD" "$SRC/tests/shell/carts/devkit_echo.z6"

start_xvfb || { echo "devkit_window: skipped (Xvfb did not start)"; exit 0; }

H=$WORK/home
mkdir -p "$H"
# 512x512 holds the console picture at scale 4 from the window's corner.
start_window "$WORK/out" env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$WORK/zibo6" -home "$H" -windowed 1 \
    -width 512 -height 512 || { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

# The window shows the expected picture; a dump the tool cannot read (caught
# while the window changed) is tried again.
shows_expected() {
    dump "$WORK/shot.xwd" || return 1
    "$WINDOWCMP" "$WORK/shot.xwd" "$EXPECTED" >"$WORK/cmp.log" 2>&1
}

# Wait for the head cart past the boot before typing, so no key is lost to
# the boot.
cart_ran() { grep -q "run_cart" "$H/log.txt" 2>/dev/null; }
wait_for $LONG cart_ran || fail "the head cart never ran"

eval "$(xdotool getwindowgeometry --shell "$win")"
scale=$((WIDTH / 128))
[ $((HEIGHT / 128)) -lt "$scale" ] && scale=$((HEIGHT / 128))
ox=$(((WIDTH - 128 * scale) / 2))
oy=$(((HEIGHT - 128 * scale) / 2))

xdotool type --delay 60 "hello world"
# console pixel (40, 70), at the middle of its block of window pixels
xdotool mousemove --window "$win" $((ox + 40 * scale + scale / 2)) $((oy + 70 * scale + scale / 2))
xdotool mousedown 1
wait_for $LONG shows_expected || fail "the window never showed the echo: $(cat "$WORK/cmp.log")"
xdotool mouseup 1

xdotool key ctrl+q
wait_exit ctrl+q

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "devkit_window: all passed"
