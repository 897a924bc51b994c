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
EXPECTED=$SRC/tests/shell/window_picture.png
NAME=screen_window
. "$SRC/tests/support/window_lib.sh"
need_tools 0 Xvfb xdotool xwd

# A data file with the test cart at the head, beside a copy of the player
# (which reads data.pod from its own folder).
cp -R "$SRC/assets" "$WORK/assets"
cp "$SRC/tests/shell/carts/window_picture.z6" "$WORK/assets/carts/head.z6"
"$MKDATAPOD" "$WORK/assets" "$WORK/data.pod" || { echo "FAIL: mkdatapod"; exit 1; }
cp "$PLAYER" "$WORK/zibo6"

start_xvfb || { echo "screen_window: skipped (Xvfb did not start)"; exit 0; }

H=$WORK/home
mkdir -p "$H"
LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$WORK/zibo6" -home "$H" -windowed 1 >"$WORK/out" 2>&1 &
PPID_=$!
wait_window
[ -n "$win" ] || { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

# Waits (up to 15 s, past the boot sequence) until the window matches the
# picture (want=0) or differs from it (want=1).
shows() {
    want=$1
    i=0
    while [ $i -lt 75 ]; do
        xwd -silent -id "$win" -out "$WORK/shot.xwd" 2>/dev/null
        "$WINDOWCMP" "$WORK/shot.xwd" "$EXPECTED" >"$WORK/cmp.log" 2>&1
        rc=$?
        [ $rc = 2 ] && return 1
        if [ "$want" = 0 ] && [ $rc = 0 ]; then return 0; fi
        if [ "$want" = 1 ] && [ $rc = 1 ]; then return 0; fi
        sleep 0.2
        i=$((i + 1))
    done
    return 1
}
# Escape held long enough for a frame to see it, then released.
escape() {
    xdotool keydown Escape
    sleep 0.3
    xdotool keyup Escape
}

shows 0 || fail "the window never showed the picture: $(cat "$WORK/cmp.log")"
escape
shows 1 || fail "escape did not open the pause menu over the picture"
escape
shows 0 || fail "a second escape did not close the pause menu: $(cat "$WORK/cmp.log")"

xdotool key ctrl+q
wait_exit ctrl+q

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "screen_window: all passed"
