#!/bin/sh
# The player boots by itself: without -x, with a dummy video driver and the
# audio written to disk, a test data.pod's head cart runs after the boot
# sequence, printh()s a line and ends the player with extcmd("shutdown").
# Usage: boot_head_cart.sh path/to/zibo6 path/to/mkdatapod ASSETS_DIR
set -e
player="$1"
mkdatapod="$2"
assets="$3"
work=$(mktemp -d "${TMPDIR:-/tmp}/boot_head_cart.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/out" ] && cat "$work/out" >&2; exit 1; }

# A copy of the assets whose head cart reports and shuts down; data.pod goes
# beside a copy of the player, where the player looks for it.
cp -r "$assets" "$work/assets"
cat > "$work/assets/carts/head.z6" <<'CART'
zibo-6 cartridge // boot test
version 33
__lua__
printh("head cart ran")
extcmd("shutdown")
CART
mkdir "$work/bin" "$work/home"
cp "$player" "$work/bin/zibo6"
"$mkdatapod" "$work/assets" "$work/bin/data.pod" >/dev/null || fail "mkdatapod"

cd "$work"
if ! SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" \
    timeout 600 "$work/bin/zibo6" -home "$work/home" >"$work/out" 2>&1; then
    fail "the player did not exit 0 by itself"
fi
grep -q "head cart ran" "$work/out" || fail "the head cart did not run"
# The boot sound (sfx 0 of the bios cart) reached the audio device at step 30.
[ -s "$work/audio.raw" ] || fail "no audio was written"
od -An -v -tx1 "$work/audio.raw" | grep -q '[1-9a-f]' || fail "the boot sound is silent"
echo "boot head cart: ok"
