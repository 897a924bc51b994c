#!/bin/sh
# The player in a real window under Xvfb: the window is titled "zibo-6", shows
# the head cart, and Ctrl+Q quits at once through the normal exit, writing
# config.txt. Skipped with a message where Xvfb or xdotool is missing.
# Usage: player_window.sh path/to/zibo6
set -u
PLAYER=$1
WORK=$(mktemp -d "${TMPDIR:-/tmp}/player_window.XXXXXX")
XPID=""
PPID_=""
cleanup() {
    [ -n "$PPID_" ] && kill "$PPID_" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
    echo "player_window: skipped (needs Xvfb and xdotool)"
    exit 0
fi
FAILS=0
fail() {
    echo "FAIL: $*"
    FAILS=$((FAILS + 1))
}

# Xvfb picks a free display itself and reports its number, so that tests
# running at the same time never share one.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
XPID=$!
i=0
until [ -s "$WORK/display" ] || [ $i -ge 100 ]; do sleep 0.1; i=$((i + 1)); done
if [ ! -s "$WORK/display" ]; then
    echo "player_window: skipped (Xvfb did not start)"
    exit 0
fi
export DISPLAY=":$(head -1 "$WORK/display")"
i=0
until xdotool getdisplaygeometry >/dev/null 2>&1 || [ $i -ge 50 ]; do sleep 0.1; i=$((i + 1)); done

H=$WORK/home
mkdir -p "$H"
LSAN_OPTIONS="suppressions=$(dirname "$0")/../platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$PLAYER" -home "$H" -windowed 1 >"$WORK/out" 2>&1 &
PPID_=$!
win=""
i=0
while [ -z "$win" ] && [ $i -lt 100 ]; do
    win=$(xdotool search --name '^zibo-6$' 2>/dev/null | head -1)
    sleep 0.1
    i=$((i + 1))
done
[ -n "$win" ] || fail "no window titled zibo-6"
sleep 1
kill -0 "$PPID_" 2>/dev/null || fail "the player ended by itself"
if [ -n "$win" ]; then
    # No window manager runs under Xvfb: focus the window, then type into it.
    xdotool windowfocus --sync "$win" >/dev/null 2>&1
    xdotool key ctrl+q
fi
i=0
while kill -0 "$PPID_" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if kill -0 "$PPID_" 2>/dev/null; then
    fail "still running 10 s after ctrl+q"
    kill -KILL "$PPID_"
fi
wait "$PPID_"
rc=$?
PPID_=""
[ "$rc" = 0 ] || fail "exit status $rc after ctrl+q"
grep -q "^volume " "$H/config.txt" 2>/dev/null || fail "config.txt was not written"

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "player_window: all passed"
