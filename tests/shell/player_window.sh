#!/bin/sh
# The player in a real window under Xvfb, driven as a person drives it, by the
# X server's own input (xdotool): the window is titled "zibo-6", shows the
# head cart, and Ctrl+Q quits through the normal exit, writing config.txt, as
# SIGINT does, which then ends it with status 130.
# Each effect is waited for up to 120 seconds, however long it takes; the test
# fails only when it does not come, with what was seen: nothing here depends
# on the machine's speed. Skipped with a message where Xvfb or xdotool is
# missing.
# Usage: player_window.sh path/to/zibo6 SOURCE_DIR
set -u
PLAYER=$1
SRC=$2
NAME=player_window
. "$SRC/tests/support/window_lib.sh"
need_tools 77 Xvfb xdotool
LONG=120

start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }
H=$WORK/home
mkdir -p "$H"

env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" SDL_VIDEODRIVER=x11 \
    SDL_AUDIODRIVER=dummy "$PLAYER" -home "$H" -windowed 1 >"$WORK/out" 2>&1 &
PPID_=$!
window_shown() { win=$(xdotool search --name '^zibo-6$' 2>/dev/null | head -1) && [ -n "$win" ]; }
launcher_ready() { grep -qx "launcher: ready" "$WORK/out"; }
wait_for $LONG window_shown || { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
wait_for $LONG launcher_ready || fail "the head cart did not start"
player_gone && fail "the player ended by itself"

# No window manager runs under Xvfb: focus the window, then type into it.
# Ctrl+Q stays down until the player has gone, as a press shorter than a
# frame is never seen.
xdotool windowfocus --sync "$win" >/dev/null 2>&1
xdotool keydown ctrl+q
wait_exit ctrl+q
xdotool keyup ctrl+q
[ "$rc" = 0 ] || fail "exit status $rc after ctrl+q"
grep -q "^volume " "$H/config.txt" 2>/dev/null || fail "config.txt was not written"

# SIGINT ends a window's run through the normal exit too, then with 130.
rm -f "$H/config.txt"
env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" SDL_VIDEODRIVER=x11 \
    SDL_AUDIODRIVER=dummy "$PLAYER" -home "$H" -windowed 1 >"$WORK/out2" 2>&1 &
PPID_=$!
launcher_ready2() { grep -qx "launcher: ready" "$WORK/out2"; }
wait_for $LONG launcher_ready2 || fail "the head cart did not start again"
kill -INT "$PPID_"
wait_exit SIGINT
[ "$rc" = 130 ] || fail "exit status $rc after SIGINT"
grep -q "^volume " "$H/config.txt" 2>/dev/null || fail "config.txt was not written after SIGINT"

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "player_window: all passed"
