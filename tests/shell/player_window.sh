#!/bin/sh
# The player in a real window under Xvfb: the window is titled "zibo-6", shows
# the head cart, and Ctrl+Q quits at once through the normal exit, writing
# config.txt. Skipped with a message where Xvfb or xdotool is missing.
# Usage: player_window.sh path/to/zibo6
set -u
PLAYER=$1
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

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "player_window: all passed"
