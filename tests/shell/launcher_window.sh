#!/bin/sh
# The launcher as a person uses it, in a real window under Xvfb on the real
# data.pod: the boot sound goes to the disk audio file, the head cart loads an
# embedded cart with a breadcrumb, the cart runs, and the pause menu's
# breadcrumb item brings the launcher back. Skipped with a message where Xvfb
# or xdotool is missing.
# Usage: launcher_window.sh ZIBO6 DATA_POD SOURCE_DIR
set -u
PLAYER=$1
DATAPOD=$2
SRC=$3
WORK=$(mktemp -d "${TMPDIR:-/tmp}/launcher_window.XXXXXX") || exit 1
XPID=""
PPID_=""
cleanup() {
    [ -n "$PPID_" ] && kill "$PPID_" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
for tool in Xvfb xdotool; do
    if ! command -v $tool >/dev/null; then
        echo "launcher_window: skipped (needs $tool)"
        exit 0
    fi
done
FAILS=0
fail() {
    echo "FAIL: $*"
    FAILS=$((FAILS + 1))
}

cp "$PLAYER" "$WORK/zibo6"
cp "$DATAPOD" "$WORK/data.pod"
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XPID=$!
export DISPLAY=":$n"
i=0
until xdotool getdisplaygeometry >/dev/null 2>&1 || [ $i -ge 50 ]; do sleep 0.1; i=$((i + 1)); done

LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/audio.raw" \
    "$WORK/zibo6" -home "$WORK/home" -windowed 1 >"$WORK/out" 2>&1 &
PPID_=$!
win=""
i=0
while [ -z "$win" ] && [ $i -lt 100 ]; do
    win=$(xdotool search --name '^zibo-6$' 2>/dev/null | head -1)
    sleep 0.1
    i=$((i + 1))
done
[ -n "$win" ] || { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

# Waits up to 20 s until the player has printed line $2 at least $1 times.
printed() {
    i=0
    while [ $i -lt 100 ]; do
        [ "$(grep -cx "$2" "$WORK/out")" -ge "$1" ] && return 0
        sleep 0.2
        i=$((i + 1))
    done
    return 1
}
press() { # press KEY: held long enough for a frame to see it
    xdotool keydown "$1"
    sleep 0.15
    xdotool keyup "$1"
    sleep 0.3
}

printed 1 "launcher: ready" || fail "the head cart did not start"
press z
press z
printed 1 "launcher: load orchard.z6" || fail "the launcher did not load orchard"
printed 1 "orchard: running" || fail "orchard did not run"
sleep 1
# The pause menu: continue, reset best, options, reset cart, back to launcher.
press Escape
for k in 1 2 3 4; do press Down; done
press z
printed 2 "launcher: ready" || fail "the breadcrumb did not lead back to the launcher"

xdotool key ctrl+q
i=0
while kill -0 "$PPID_" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$PPID_" 2>/dev/null && kill -KILL "$PPID_"
wait "$PPID_" 2>/dev/null
PPID_=""

# The boot sound: the disk audio file holds sound, not only silence.
if [ ! -s "$WORK/audio.raw" ]; then
    fail "no disk audio file"
elif [ "$(od -An -v -tx1 "$WORK/audio.raw" | tr -s ' \n' '\n\n' | grep -cv '^0*$')" -lt 1000 ]; then
    fail "the disk audio file holds only silence"
fi

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "launcher_window: all passed"
