#!/bin/sh
# The player in a real window under Xvfb: the window is titled "zibo-6", shows
# the head cart, and Ctrl+Q quits at once through the normal exit, writing
# config.txt. Skipped with a message where Xvfb or xdotool is missing.
# Usage: player_window.sh path/to/zibo6
set -u
PLAYER=$1
NAME=player_window
. "$(dirname "$0")/../support/window_lib.sh"
need_tools 0 Xvfb xdotool

start_xvfb || { echo "player_window: skipped (Xvfb did not start)"; exit 0; }

H=$WORK/home
mkdir -p "$H"
LSAN_OPTIONS="suppressions=$(dirname "$0")/../platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$PLAYER" -home "$H" -windowed 1 >"$WORK/out" 2>&1 &
PPID_=$!
wait_window
[ -n "$win" ] || fail "no window titled zibo-6"
sleep 1
kill -0 "$PPID_" 2>/dev/null || fail "the player ended by itself"
if [ -n "$win" ]; then
    # No window manager runs under Xvfb: focus the window, then type into it.
    xdotool windowfocus --sync "$win" >/dev/null 2>&1
    xdotool key ctrl+q
fi
wait_exit ctrl+q
[ "$rc" = 0 ] || fail "exit status $rc after ctrl+q"
grep -q "^volume " "$H/config.txt" 2>/dev/null || fail "config.txt was not written"

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "player_window: all passed"
