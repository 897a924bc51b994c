#!/bin/sh
# An exported Linux program runs the cart: z6cart export with a data file whose
# runtime entry carries the player writes NAME.bin/linux/NAME, the player
# itself, which started under Xvfb shows the cart's screen
# (tests/shell/window_picture.png); the Linux zip holds the same files.
# A sanitizer build's data.pod carries no runtime, so the test makes a data
# file of its own with that build's player; any other build's data.pod is used
# as built. Skipped with a message where Xvfb is missing.
# Usage: export_window.sh Z6CART MKDATAPOD ZIBO6 DATA_POD WINDOWCMP SOURCE_DIR SANITIZED
set -u
Z6CART=$1
MKDATAPOD=$2
PLAYER=$3
DATAPOD=$4
WINDOWCMP=$5
SRC=$6
SANITIZED=$7
NAME=export_window
TITLE=picture # the exported program's name
. "$SRC/tests/support/window_lib.sh"
need_tools 77 Xvfb

if [ "$SANITIZED" = 1 ]; then
    DATAPOD=$WORK/data.pod
    "$MKDATAPOD" "$SRC/assets" "$DATAPOD" -linux "$PLAYER" || { echo "FAIL: mkdatapod"; exit 1; }
fi
mkdir "$WORK/out"
(cd "$WORK/out" && "$Z6CART" -pod "$DATAPOD" export "$SRC/tests/shell/carts/window_picture.z6" \
    "$TITLE" -i 0) >"$WORK/export.log" 2>&1 || { cat "$WORK/export.log"; echo "FAIL: export"; exit 1; }
LINUX=$WORK/out/$TITLE.bin/linux
cmp -s "$LINUX/$TITLE" "$PLAYER" || fail "the exported Linux program is not the player"

# The zip: the folder's files under NAME_linux/, byte for byte, the program executable.
python3 - "$WORK/out/$TITLE.bin/${TITLE}_linux.zip" "$LINUX" "${TITLE}_linux/" <<'PY' || fail "the Linux zip"
import os, sys, zipfile
path, folder, prefix = sys.argv[1:]
with zipfile.ZipFile(path) as z:
    files = {i.filename[len(prefix):]: i for i in z.infolist() if not i.filename.endswith("/")}
    want = sorted(os.listdir(folder))
    if sorted(files) != want:
        sys.exit("entries %r, folder %r" % (sorted(files), want))
    for name in want:
        if z.read(files[name]) != open(os.path.join(folder, name), "rb").read():
            sys.exit(name + " differs")
        if os.access(os.path.join(folder, name), os.X_OK) != bool(files[name].external_attr >> 16 & 0o100):
            sys.exit(name + ": executable bit differs")
PY

# Started under Xvfb, driven by an input script: the cart's screen, then quit.
start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }
mkdir -p "$WORK/home"
printf 'frame 100 dump %s\nframe 110 quit\n' "$WORK/shot.png" >"$WORK/script"
(cd "$WORK" && env HOME="$WORK/home" LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy ZIBO6_INPUT_SCRIPT="$WORK/script" \
    timeout -k 10 $LONG "$LINUX/$TITLE" -windowed 1) >"$WORK/run.out" 2>&1
rc=$?
[ "$rc" = 0 ] || fail "the exported program ended with status $rc"
cp "$SRC/tests/shell/window_picture.png" "$WORK/want.png"
"$WINDOWCMP" "$WORK/shot.png" "$WORK/want.png" >"$WORK/cmp.log" 2>&1 ||
    fail "the exported program did not show the cart: $(cat "$WORK/cmp.log")"

[ "$FAILS" = 0 ] || { cat "$WORK/run.out"; exit 1; }
echo "export_window: all passed"
