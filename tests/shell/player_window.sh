#!/bin/sh
# The player in a real window under Xvfb: the window is titled "zibo-6", shows
# the head cart, and Ctrl+Q quits at once through the normal exit, writing
# config.txt. A light 60 fps head cart draws at 60 in the window. Skipped
# with a message where Xvfb or xdotool is missing.
# Usage: player_window.sh path/to/zibo6 MKDATAPOD SOURCE_DIR
set -u
PLAYER=$1
MKDATAPOD=$2
SRC=$3
NAME=player_window
. "$(dirname "$0")/../support/window_lib.sh"
need_tools 77 Xvfb xdotool

start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }

H=$WORK/home
mkdir -p "$H"
start_window "$WORK/out" env LSAN_OPTIONS="suppressions=$(dirname "$0")/../platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$PLAYER" -home "$H" -windowed 1 ||
    { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
# The head cart (the launcher) runs in it.
launcher() { grep -qx "launcher: ready" "$WORK/out"; }
wait_for $LONG launcher || fail "the head cart did not start"
player_gone && fail "the player ended by itself"
# No window manager runs under Xvfb: focus the window, then type into it.
xdotool windowfocus --sync "$win" >/dev/null 2>&1
quit ctrl+q
[ "$rc" = 0 ] || fail "exit status $rc after ctrl+q"
grep -q "^volume " "$H/config.txt" 2>/dev/null || fail "config.txt was not written"

# A light 60 fps cart as the head cart: its verdict after a round of 240
# updates, three rounds at most (tests/shell/carts/rate_light_60.z6).
head_cart_player "$MKDATAPOD" "$SRC/tests/shell/carts/rate_light_60.z6"
start_window "$WORK/rate" env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$WORK/zibo6" -home "$H" -windowed 1 ||
    { cat "$WORK/rate"; echo "FAIL: no window titled zibo-6"; exit 1; }
rate_verdict() { grep -qx "60 fps\|round 3:.*" "$WORK/rate"; }
wait_for $LONG rate_verdict || fail "the 60 fps cart gave no verdict"
grep -qx "60 fps" "$WORK/rate" || fail "the 60 fps cart: $(grep round "$WORK/rate")"
xdotool windowfocus --sync "$win" >/dev/null 2>&1
quit ctrl+q
[ "$rc" = 0 ] || fail "exit status $rc after ctrl+q"

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "player_window: all passed"
