#!/bin/sh
# -kiosk in a real window under Xvfb: the boot says "booting browse..", enters
# the cart browser with the local carts folder listed (log.txt), never boots
# the head cart, and the first press of a button quits. Skipped with a message
# where Xvfb or xdotool is missing.
# Usage: kiosk_window.sh ZIBO6 DATA_POD SOURCE_DIR
set -u
PLAYER=$1
DATAPOD=$2
SRC=$3
NAME=kiosk_window
. "$SRC/tests/support/window_lib.sh"
need_tools 77 Xvfb xdotool

cp "$PLAYER" "$WORK/zibo6"
cp "$DATAPOD" "$WORK/data.pod"
H=$WORK/home
mkdir -p "$H/carts/sub"
cp "$SRC/tests/shell/carts/hello.z6" "$H/carts/b.z6"
cp "$SRC/tests/shell/carts/hello.z6" "$H/carts/a.z6"
start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }

start_window "$WORK/out" env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
    "$WORK/zibo6" -kiosk -home "$H" -windowed 1 ||
    { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

# the browser is entered at boot step 70 (about 3 s; longer under sanitizers)
entered() { grep -q "browse_enter" "$H/log.txt" 2>/dev/null; }
wait_for $LONG entered
grep -q "browse_enter: 3 items in /$" "$H/log.txt" ||
    fail "the local list was not filled: $(grep browse_enter "$H/log.txt")"
player_gone && fail "the player ended by itself"
# Z, held until the player has gone: the first button press quits.
hold z $LONG player_gone
wait_exit "a button press"
[ "$rc" = 0 ] || fail "exit status $rc after a button press"
! grep -q "launcher: ready" "$WORK/out" || fail "the head cart was booted"

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "kiosk_window: all passed"
