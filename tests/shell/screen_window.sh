#!/bin/sh
# The player in a real window under Xvfb, with a data file whose head cart
# draws an asymmetric picture: a dump of the window must show that picture at
# a whole scale (tests/shell/window_picture.png); Escape opens the pause menu
# over it and a second Escape closes it again. Skipped with a message where
# Xvfb, xdotool or xwd is missing.
# Usage: screen_window.sh ZIBO6 MKDATAPOD WINDOWCMP SOURCE_DIR
set -u
PLAYER=$1
MKDATAPOD=$2
WINDOWCMP=$3
SRC=$4
NAME=screen_window
. "$SRC/tests/support/window_lib.sh"
# (The tool writes what it saw beside the picture, so it gets a copy.)
EXPECTED=$WORK/window_picture.png
cp "$SRC/tests/shell/window_picture.png" "$EXPECTED"
need_tools 0 Xvfb xdotool xwd

head_cart_player "$PLAYER" "$MKDATAPOD" "$SRC/tests/shell/carts/window_picture.z6"

start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }

H=$WORK/home
mkdir -p "$H"
start_window "$WORK/out" env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$WORK/zibo6" -home "$H" -windowed 1 ||
    { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

# matches: the window shows the picture. differs: it shows something else.
# A dump the tool cannot read (2: caught while the window changed) is neither.
compare() {
    dump "$WORK/shot.xwd" || return 2
    "$WINDOWCMP" "$WORK/shot.xwd" "$EXPECTED" >"$WORK/cmp.log" 2>&1
}
matches() { compare; }
differs() { compare; [ $? = 1 ]; }

# Past the boot sequence, the head cart's picture; Escape (held until it is
# seen) opens the pause menu over it and a second Escape closes it again.
wait_for $LONG matches || fail "the window never showed the picture: $(cat "$WORK/cmp.log")"
hold Escape $LONG differs || fail "escape did not open the pause menu over the picture"
hold Escape $LONG matches || fail "a second escape did not close the pause menu: $(cat "$WORK/cmp.log")"

xdotool key ctrl+q
wait_exit ctrl+q
[ "$rc" = 0 ] || fail "exit status $rc after ctrl+q"

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "screen_window: all passed"
