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
need_tools 0 Xvfb xdotool

cp "$PLAYER" "$WORK/zibo6"
cp "$DATAPOD" "$WORK/data.pod"
H=$WORK/home
mkdir -p "$H/carts/sub"
cp "$SRC/tests/shell/carts/hello.z6" "$H/carts/b.z6"
cp "$SRC/tests/shell/carts/hello.z6" "$H/carts/a.z6"
start_xvfb || { echo "kiosk_window: skipped (Xvfb did not start)"; exit 0; }

LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
    "$WORK/zibo6" -kiosk -home "$H" -windowed 1 >"$WORK/out" 2>&1 &
PPID_=$!
wait_window
[ -n "$win" ] || { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

# the browser is entered at boot step 70 (about 3 s; longer under sanitizers)
i=0
until grep -q "browse_enter" "$H/log.txt" 2>/dev/null || [ $i -ge 300 ]; do
    sleep 0.1
    i=$((i + 1))
done
grep -q "browse_enter: 3 items in /$" "$H/log.txt" ||
    fail "the local list was not filled: $(grep browse_enter "$H/log.txt")"
sleep 0.5
kill -0 "$PPID_" 2>/dev/null || fail "the player ended by itself"
xdotool keydown z
sleep 0.15
xdotool keyup z
wait_exit "a button press"
[ "$rc" = 0 ] || fail "exit status $rc after a button press"
! grep -q "launcher: ready" "$WORK/out" || fail "the head cart was booted"

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "kiosk_window: all passed"
