#!/bin/sh
# engine_host in a real window: SIGINT runs the normal exit sequence and exits
# 130, 128 + the signal's number (under the dummy video driver, everywhere), and under Xvfb a screenshot
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

# started DIR: the host has finished its start-up (the "ok" closing the init
# block of log.txt), so its SIGINT handler is in place.
started() { grep -q '^\[[0-9]*\] ok$' "$1/log.txt" 2>/dev/null; }

# interrupt DIR: once the host has started, SIGINT to it, then check status and log.
interrupt() {
    wait_for $LONG started "$1" || fail "$1: the host did not finish starting"
    kill -INT "$PPID_"
    wait_exit SIGINT
    [ "$rc" -eq 130 ] || fail "$1: host exited $rc after SIGINT"
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
interrupt "$D"

# ---- SIGINT to a headless host: the same exit sequence, no video ----
H=$WORK/headless
mkdir -p "$H"
start_host "$HOST" -home "$H" -headless frames=0 >"$H.out" 2>&1
interrupt "$H" headless

# ---- a real window under Xvfb ----
if ! command -v Xvfb >/dev/null 2>&1 || ! command -v xwd >/dev/null 2>&1 ||
    ! command -v xdotool >/dev/null 2>&1; then
    echo "SKIP: Xvfb, xwd or xdotool missing (scripts/deps.sh installs them); screenshot not checked"
    [ "$FAILS" -eq 0 ] && exit 77
    exit 1
fi
start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }

X=$WORK/x11
mkdir -p "$X"
# The 128 x 128 window shows the 128 x 128 page halved into {32, 32, 64, 64}.
start_host SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
    LSAN_OPTIONS="suppressions=$(dirname "$0")/x11_lsan.supp" \
    "$HOST" -home "$X" -windowed 1 -window_x 0 -window_y 0 -draw_rect 32,32,64,64 frames=0 >"$X.out" 2>&1

# Pixel (x, y) of the root window as "r g b", read from the xwd dump.
word() { od -An -tu4 --endian=big -j "$1" -N4 "$WORK/shot.xwd" | tr -d ' '; }
pixel() {
    off=$((HSIZE + NCOL * 12 + $2 * BPL + $1 * STRIDE))
    set -- $(od -An -tu1 -j "$off" -N"$STRIDE" "$WORK/shot.xwd")
    if [ "$ORDER" -eq 0 ]; then echo "$3 $2 $1"; elif [ "$STRIDE" -eq 4 ]; then echo "$2 $3 $4"; else echo "$1 $2 $3"; fi
}

# bands: a screenshot of the whole screen, and its problems in $WORK/bands
# (empty when the picture is right). Outside the rectangle: black. Inside:
# eight bands of 8 rows, each one colour with red + blue = 255 and no green,
# the same across the band, and different from the band above.
bands() {
    : >"$WORK/bands"
    xwd -root -silent >"$WORK/shot.xwd" 2>/dev/null && [ -s "$WORK/shot.xwd" ] ||
        { echo "xwd failed" >"$WORK/bands"; return 1; }
    HSIZE=$(word 0)
    ORDER=$(word 28)
    BPP=$(word 44)
    BPL=$(word 48)
    STRIDE=$((BPP / 8))
    NCOL=$(word 76)
    if [ "$STRIDE" -ne 3 ] && [ "$STRIDE" -ne 4 ]; then
        echo "unexpected screenshot layout: $BPP bits a pixel" >"$WORK/bands"
        return 1
    fi
    for p in "10 10" "31 60" "96 60" "60 31" "60 96" "120 120"; do
        set -- $p
        c=$(pixel "$1" "$2")
        [ "$c" = "0 0 0" ] || echo "($1,$2) is $c, not black" >>"$WORK/bands"
    done
    prev=""
    b=0
    while [ $b -lt 8 ]; do
        y=$((32 + b * 8 + 4))
        left=$(pixel 34 $y)
        right=$(pixel 93 $y)
        set -- $left
        [ $(($1 + $3)) -eq 255 ] && [ "$2" -eq 0 ] || echo "band $b is '$left', not a band colour" >>"$WORK/bands"
        [ "$left" = "$right" ] || echo "band $b is not one colour: '$left' / '$right'" >>"$WORK/bands"
        [ "$left" != "$prev" ] || echo "band $b repeats the band above" >>"$WORK/bands"
        prev=$left
        b=$((b + 1))
    done
    [ ! -s "$WORK/bands" ]
}

# The window shows the pattern once the host has started and drawn a frame;
# until then the screen is black.
if ! wait_for $LONG bands; then
    while read -r line; do fail "$line"; done <"$WORK/bands"
fi
interrupt "$X"

[ "$FAILS" -eq 0 ] && echo "all window checks passed"
[ "$FAILS" -eq 0 ]
