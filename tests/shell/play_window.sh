#!/bin/sh
# scripts/play.sh end to end: a cart of one's own plays in a real window under
# Xvfb (driven by an input script) and shows its screen; the cart data the
# first play writes to the per-user folder under HOME is read by the second;
# the build's data.pod is left as it was and the scratch folder is removed.
# Skipped with a message where Xvfb is missing.
# Usage: play_window.sh BUILD_DIR WINDOWCMP SOURCE_DIR
set -u
BUILD=$1
WINDOWCMP=$2
SRC=$3
NAME=play_window
. "$SRC/tests/support/window_lib.sh"
need_tools 77 Xvfb
start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }

pod_sum=$(cksum <"$BUILD/data.pod")
mkdir "$WORK/tmp" "$WORK/home"
cp "$SRC/tests/shell/window_picture.png" "$WORK/want.png"
for run in 1 2; do
    printf 'frame 100 dump %s\nframe 110 quit\n' "$WORK/shot$run.png" >"$WORK/script$run"
    env HOME="$WORK/home" TMPDIR="$WORK/tmp" ZIBO6_BUILD="$BUILD" \
        LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
        SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy ZIBO6_INPUT_SCRIPT="$WORK/script$run" \
        timeout -k 10 $LONG sh "$SRC/scripts/play.sh" "$SRC/tests/shell/carts/window_picture.z6" \
        -windowed 1 >"$WORK/run$run.out" 2>&1
    rc=$?
    [ "$rc" = 0 ] || fail "play $run: exit status $rc"
    "$WINDOWCMP" "$WORK/shot$run.png" "$WORK/want.png" >"$WORK/cmp.log" 2>&1 ||
        fail "play $run did not show the cart: $(cat "$WORK/cmp.log")"
    grep -qx "runs before this one: $((run - 1))" "$WORK/run$run.out" ||
        fail "play $run did not read the cart data of the plays before it"
done
[ -s "$WORK/home/.tarnwicker/zibo-6/cdata/zibo6_window_picture.z6d.txt" ] ||
    fail "no cart data in the default per-user folder"
[ "$(cksum <"$BUILD/data.pod")" = "$pod_sum" ] || fail "the build's data.pod changed"
[ -z "$(ls "$WORK/tmp")" ] || fail "the scratch folder was left: $(ls "$WORK/tmp")"

# A cart that does not load: no player is started, and the status says so.
printf 'not a cart\n' >"$WORK/bad.z6"
env HOME="$WORK/home" TMPDIR="$WORK/tmp" ZIBO6_BUILD="$BUILD" \
    sh "$SRC/scripts/play.sh" "$WORK/bad.z6" >"$WORK/bad.out" 2>&1 && fail "a bad cart played"
grep -q "could not export" "$WORK/bad.out" || fail "no message for a bad cart: $(cat "$WORK/bad.out")"

[ "$FAILS" = 0 ] || { cat "$WORK/run1.out" "$WORK/run2.out"; exit 1; }
echo "play_window: all passed"
