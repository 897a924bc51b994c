#!/bin/sh
# The player in a real window under Xvfb, driven as a person drives it, by the
# X server's own input (xdotool): the window is titled "zibo-6", shows the
# head cart, and Ctrl+Q quits through the normal exit, writing config.txt. A
# light 60 fps head cart draws at 60 in the window. Each effect is waited for
# up to 120 seconds, however long it takes; the test fails only when it does
# not come, with what was seen. Skipped with a message where Xvfb or xdotool
# is missing.
# Usage: player_window.sh path/to/zibo6 MKDATAPOD SOURCE_DIR
set -u
PLAYER=$1
MKDATAPOD=$2
SRC=$3
NAME=player_window
. "$SRC/tests/support/window_lib.sh"
need_tools 77 Xvfb xdotool
LONG=120

start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }
H=$WORK/home
mkdir -p "$H"

# window OUT PLAYER: PLAYER in a window, its output in OUT, as PPID_; sets win
# once the window is there, or ends the script with what the player printed.
window_shown() { win=$(xdotool search --name '^zibo-6$' 2>/dev/null | head -1) && [ -n "$win" ]; }
window() {
    env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" SDL_VIDEODRIVER=x11 \
        SDL_AUDIODRIVER=dummy "$2" -home "$H" -windowed 1 >"$1" 2>&1 &
    PPID_=$!
    wait_for $LONG window_shown || { cat "$1"; echo "FAIL: no window titled zibo-6"; exit 1; }
}
# ctrl_q: Ctrl+Q into the window, held until the player has gone (a press
# shorter than a frame is never seen); rc is its status. No window manager
# runs under Xvfb, so the window is focused first.
ctrl_q() {
    xdotool windowfocus --sync "$win" >/dev/null 2>&1
    xdotool keydown ctrl+q
    wait_exit ctrl+q
    xdotool keyup ctrl+q
    [ "$rc" = 0 ] || fail "exit status $rc after ctrl+q"
}

window "$WORK/out" "$PLAYER"
launcher_ready() { grep -qx "launcher: ready" "$WORK/out"; }
wait_for $LONG launcher_ready || fail "the head cart did not start"
player_gone && fail "the player ended by itself"
ctrl_q
grep -q "^volume " "$H/config.txt" 2>/dev/null || fail "config.txt was not written"

# A light 60 fps cart as the head cart: its verdict after a round of 240
# updates, three rounds at most (tests/shell/carts/rate_light_60.z6).
head_cart_player "$MKDATAPOD" "$SRC/tests/shell/carts/rate_light_60.z6"
window "$WORK/rate" "$WORK/zibo6"
rate_verdict() { grep -qx "60 fps\|round 3:.*" "$WORK/rate"; }
wait_for $LONG rate_verdict || fail "the 60 fps cart gave no verdict"
grep -qx "60 fps" "$WORK/rate" || fail "the 60 fps cart: $(grep round "$WORK/rate")"
ctrl_q

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "player_window: all passed"
