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
need_tools 77 Xvfb xdotool xwd

cp "$PLAYER" "$WORK/zibo6"
cp "$DATAPOD" "$WORK/data.pod"
start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }

start_window "$WORK/out" env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/audio.raw" \
    "$WORK/zibo6" -home "$WORK/home" -windowed 1 ||
    { cat "$WORK/out"; echo "FAIL: no window titled zibo-6"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

# The boot screen: logo, version line, notice and "booting cartridge..".
# (The tool writes what it saw beside the picture, so it gets a copy.)
cp "$SRC/tests/shell/boot_screen.png" "$WORK/boot_screen.png"
boot_shown "$WINDOWCMP" "$WORK/boot_screen.png" ||
    fail "the boot screen was not seen before the head cart loaded: $(cat "$WORK/cmp.log")"

# printed N LINE: the player has printed LINE at least N times.
printed() { [ "$(grep -cx "$2" "$WORK/out")" -ge "$1" ]; }
# moving: the window's picture changes within half a second.
moving() {
    dump "$WORK/m1.xwd" && sleep 0.5 && dump "$WORK/m2.xwd" &&
        ! cmp -s "$WORK/m1.xwd" "$WORK/m2.xwd"
}
# changed: the window's picture differs from the last one kept in ref.xwd.
changed() { dump "$WORK/now.xwd" && ! cmp -s "$WORK/now.xwd" "$WORK/ref.xwd"; }

wait_for $LONG printed 1 "launcher: ready" || fail "the head cart did not start"
# What the audio file held when the head cart started: the boot's own sound.
boot_audio=$(wc -c <"$WORK/audio.raw" 2>/dev/null || echo 0)
# Z opens the launcher's menu, and Z again (held: the button repeats) loads
# the first cart.
hold z $LONG printed 1 "launcher: load orchard.z6" || fail "the launcher did not load orchard"
wait_for $LONG printed 1 "orchard: running" || fail "orchard did not run"
# Escape pauses the game: its falling fruit stand still under the menu
# (continue, reset best, options, reset cart, back to launcher, quit).
wait_for $LONG moving || fail "orchard's picture does not move"
tap Escape still || fail "escape did not pause orchard"
# Each press of Down moves the menu's pointer one item.
cp "$WORK/still1.xwd" "$WORK/ref.xwd"
for k in 1 2 3 4; do
    tap Down changed || fail "down did not move the menu's pointer"
    cp "$WORK/now.xwd" "$WORK/ref.xwd"
done
tap z printed 2 "launcher: ready" || fail "the breadcrumb did not lead back to the launcher"

quit ctrl+q
[ "$rc" = 0 ] || fail "exit status $rc after ctrl+q"

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
