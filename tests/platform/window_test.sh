#!/bin/sh
# engine_host in a real window: SIGINT runs the normal exit sequence and exits
# 0 (under the dummy video driver, everywhere), and under Xvfb a screenshot
# shows the host's band pattern placed by -draw_rect (skipped without Xvfb).
# Usage: window_test.sh path/to/engine_host
set -u
HOST=$1
NAME=window_test
. "$(dirname "$0")/../support/window_lib.sh"

# Background jobs of a non-interactive shell start with SIGINT ignored; the
# host must see it as a user's Ctrl+C would.
start_host() {
    env --default-signal=INT "$@" &
    PPID_=$!
}

# interrupt DIR: SIGINT to the running host, then check status and log.
interrupt() {
    kill -INT "$PPID_"
    wait_exit SIGINT
    [ "$rc" -eq 0 ] || fail "$1: host exited $rc after SIGINT"
    grep -q "vull_exit" "$1/log.txt" || fail "$1: log.txt has no vull_exit"
    grep -q "vull_items_created: 0" "$1/log.txt" || fail "$1: log.txt has no item count"
    if [ "${2:-}" = headless ]; then
        grep -q "^sessions 1" "$1/config.txt" || fail "$1: config.txt was not written"
    else
        grep -q "vull_video_exit" "$1/log.txt" || fail "$1: video was not shut down"
    fi
}

# ---- SIGINT under the dummy driver ----
D=$WORK/dummy
mkdir -p "$D"
start_host SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$HOST" -home "$D" -windowed 1 frames=0 >"$D.out" 2>&1
sleep 1
interrupt "$D"

# ---- SIGINT to a headless host: the same exit sequence, no video ----
H=$WORK/headless
mkdir -p "$H"
start_host "$HOST" -home "$H" -headless frames=0 >"$H.out" 2>&1
sleep 1
interrupt "$H" headless

# ---- a real window under Xvfb ----
if ! command -v Xvfb >/dev/null 2>&1 || ! command -v xwd >/dev/null 2>&1; then
    echo "SKIP: Xvfb or xwd missing (scripts/deps.sh installs xvfb and x11-apps); screenshot not checked"
    [ "$FAILS" -eq 0 ] && exit 0
    exit 1
fi
start_xvfb || { echo "SKIP: Xvfb did not start"; [ "$FAILS" -eq 0 ]; exit $?; }

X=$WORK/x11
mkdir -p "$X"
# The 128 x 128 window shows the 128 x 128 page halved into {32, 32, 64, 64}.
start_host SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
    LSAN_OPTIONS="suppressions=$(dirname "$0")/x11_lsan.supp" \
    "$HOST" -home "$X" -windowed 1 -window_x 0 -window_y 0 -draw_rect 32,32,64,64 frames=0 >"$X.out" 2>&1
sleep 2
xwd -root -silent >"$WORK/shot.xwd" || fail "xwd failed"

# Pixel (x, y) of the root window as "r g b", read from the xwd dump.
word() { od -An -tu4 --endian=big -j "$1" -N4 "$WORK/shot.xwd" | tr -d ' '; }
HSIZE=$(word 0)
ORDER=$(word 28)
BPP=$(word 44)
BPL=$(word 48)
STRIDE=$((BPP / 8))
NCOL=$(word 76)
pixel() {
    off=$((HSIZE + NCOL * 12 + $2 * BPL + $1 * STRIDE))
    set -- $(od -An -tu1 -j "$off" -N"$STRIDE" "$WORK/shot.xwd")
    if [ "$ORDER" -eq 0 ]; then echo "$3 $2 $1"; elif [ "$STRIDE" -eq 4 ]; then echo "$2 $3 $4"; else echo "$1 $2 $3"; fi
}
[ "$STRIDE" -eq 3 ] || [ "$STRIDE" -eq 4 ] || fail "unexpected screenshot layout: $BPP bits a pixel"

# Outside the rectangle: black.
for p in "10 10" "31 60" "96 60" "60 31" "60 96" "120 120"; do
    set -- $p
    [ "$(pixel "$1" "$2")" = "0 0 0" ] || fail "($1,$2) is $(pixel "$1" "$2"), not black"
done
# Inside: eight bands of 8 rows, each one colour with red + blue = 255 and no green,
# the same across the band, and different from the band above.
prev=""
b=0
while [ $b -lt 8 ]; do
    y=$((32 + b * 8 + 4))
    left=$(pixel 34 $y)
    right=$(pixel 93 $y)
    set -- $left
    [ $(($1 + $3)) -eq 255 ] && [ "$2" -eq 0 ] || fail "band $b is '$left', not a band colour"
    [ "$left" = "$right" ] || fail "band $b is not one colour: '$left' / '$right'"
    [ "$left" != "$prev" ] || fail "band $b repeats the band above"
    prev=$left
    b=$((b + 1))
done
interrupt "$X"

[ "$FAILS" -eq 0 ] && echo "all window checks passed"
[ "$FAILS" -eq 0 ]
