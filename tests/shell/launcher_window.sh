#!/bin/sh
# The launcher as a person uses it, in a real window under Xvfb on the real
# data.pod: the boot screen matches its stored picture, the boot sound goes to
# the disk audio file, the head cart loads an embedded cart with a breadcrumb,
# the cart runs, and the pause menu's breadcrumb item brings the launcher back.
# Skipped with a message where Xvfb, xdotool or xwd is missing.
# Usage: launcher_window.sh ZIBO6 DATA_POD WINDOWCMP SOURCE_DIR
set -u
PLAYER=$1
DATAPOD=$2
WINDOWCMP=$3
SRC=$4
NAME=launcher_window
. "$SRC/tests/support/window_lib.sh"
need_tools 0 Xvfb xdotool xwd

cp "$PLAYER" "$WORK/zibo6"
cp "$DATAPOD" "$WORK/data.pod"
start_xvfb || { echo "launcher_window: skipped (Xvfb did not start)"; exit 0; }

LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/audio.raw" \
    "$WORK/zibo6" -home "$WORK/home" -windowed 1 >"$WORK/out" 2>&1 &
PPID_=$!
wait_window
[ -n "$win" ] || { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

# The boot screen: logo, version line, notice and "booting cartridge..".
EXPECTED=$SRC/tests/shell/boot_screen.png
if ! boot_dump "$WINDOWCMP" "$WORK/boot.xwd"; then
    fail "the boot screen was not seen standing still before the head cart loaded"
elif ! "$WINDOWCMP" "$WORK/boot.xwd" "$EXPECTED" >"$WORK/cmp.log" 2>&1; then
    fail "the boot screen differs: $(cat "$WORK/cmp.log")"
fi

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
# What the audio file held when the head cart started: the boot's own sound.
boot_audio=$(wc -c <"$WORK/audio.raw" 2>/dev/null || echo 0)
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
wait_exit ctrl+q

# The boot sound: sound in the part of the disk audio file written before the
# head cart started (less half a second, 16-bit mono at 22050 Hz, for the time
# the line took to be seen), where nothing but the boot plays.
nonzero() { od -An -v -tx1 | tr -s ' \n' '\n\n' | grep -cv '^0*$'; }
if [ ! -s "$WORK/audio.raw" ]; then
    fail "no disk audio file"
elif [ "$(head -c $((boot_audio - 22050 > 0 ? boot_audio - 22050 : 0)) "$WORK/audio.raw" | nonzero)" -lt 1000 ]; then
    fail "no boot sound before the head cart started ($boot_audio bytes then)"
elif [ "$(nonzero <"$WORK/audio.raw")" -lt 1000 ]; then
    fail "the disk audio file holds only silence"
fi

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "launcher_window: all passed"
