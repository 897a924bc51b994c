#!/bin/sh
# engine_host end to end: log.txt and config.txt across runs, the config hook,
# perf reports, and hostile config.txt files.
# Usage: engine_host_test.sh path/to/engine_host
set -u
HOST=$1
WORK=$(mktemp -d "${TMPDIR:-/tmp}/engine_host.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
FAILS=0

fail() {
    echo "FAIL: $*"
    FAILS=$((FAILS + 1))
}

run_host() {  # run_host DIR [args...]: runs headless in DIR, output in DIR.out
    dir=$1
    shift
    "$HOST" -home "$dir" -headless "$@" >"$dir.out" 2>"$dir.err"
}

# ---- two runs: exit status, log.txt, sessions, layout ----
D=$WORK/home
mkdir -p "$D"
run_host "$D" frames=3 || fail "first run exited $?"
grep -q "^sessions 1 //" "$D/config.txt" || fail "first run: sessions is not 1"
run_host "$D" frames=3 || fail "second run exited $?"
grep -q "^sessions 2 //" "$D/config.txt" || fail "second run: sessions is not 2"

if grep -vqE '^\[[0-9]{6}\] ' "$D/log.txt"; then
    fail "log.txt has lines without a stamp"
    grep -vE '^\[[0-9]{6}\] ' "$D/log.txt" | head -5
fi
# The steps in order, with their nesting (stamps stripped).
sed -E 's/^\[[0-9]{6}\] //' "$D/log.txt" >"$WORK/bodies"
expected="vull_init|  platform: Linux|  Found config.txt|  vull_system_init|  vull_reset_timer|\
  vull_gui_init|  vull_keys_init|  vull_text_init|  vull_video_init|  vull_mouse_init|\
  vull_joystick_init|ok|vull_exit|  cmusic_stop|  vull_main_exit|  vull_config_save|\
  vull_sound_exit|  vull_video_exit|  vull_joystick_exit|  vull_system_exit|\
  vull_items_created: 0|ok"
awk -v want="$expected" 'BEGIN { n = split(want, w, "|"); i = 1 }
    i <= n && $0 == w[i] { i++ }
    END { if (i <= n) { print "missing in order: " w[i]; exit 1 } }' "$WORK/bodies" || fail "log.txt order"
[ "$(tail -n 2 "$WORK/bodies" | head -n 1)" = "  vull_items_created: 0" ] || fail "log does not end with the item count"
[ "$(tail -n 1 "$WORK/bodies")" = "ok" ] || fail "log does not end with ok"

# The exact layout is checked by the unit tests; here its frame and the app's section.
head -n 2 "$D/config.txt" | tail -n 1 | grep -qx "// Configuration for engine_host" || fail "config.txt heading"
[ "$(tail -n 1 "$D/config.txt")" = "// engine_host settings: none" ] || fail "the save hook's line is not last"

# ---- the hook, clamping, and command-line values not kept ----
printf '// a note for the hook\nsound_volume 300\nwindow_size 800 600\n' >>"$D/config.txt"
run_host "$D" -width 320 frames=2 || fail "hook run exited $?"
grep -qx "hook: // a note for the hook" "$D.out" || fail "comment line did not reach the hook"
grep -q "^sound_volume 256 //" "$D/config.txt" || fail "sound_volume 300 not written back clamped"
grep -q "^window_size 800 600 //" "$D/config.txt" || fail "-width leaked into config.txt"
grep -q "^sessions 3 //" "$D/config.txt" || fail "sessions is not 3 after a run with options"

# ---- perf reports ----
P=$WORK/perf
mkdir -p "$P"
run_host "$P" -perf_timing 2 frames=5 || fail "perf run exited $?"
n=$(grep -cE '^\[vull\]( +[0-9]+\.[0-9]{3}\[ *[0-9]+\.[0-9]{3}\]){4}   [0-9]+/2$' "$P.out")
[ "$n" = 2 ] || { fail "expected 2 perf reports, got $n"; cat "$P.out"; }

# ---- windowed: the window takes the size the options give ----
W=$WORK/windowed
mkdir -p "$W"
"$HOST" -home "$W" -windowed 1 -width 300 -height 200 frames=3 >"$W.out" 2>&1 || fail "windowed run exited $?"
grep -q "window size: 300 200" "$W/log.txt" || fail "-width 300 -height 200 did not size the window"
grep -q "^window_size 0 0 //" "$W/config.txt" || fail "the window size from options leaked into config.txt"
"$HOST" -home "$W" -windowed 1 -width 256 frames=2 >"$W.out" 2>&1 || fail "windowed run exited $?"
grep -q "window size: 256 256" "$W/log.txt" || fail "-width alone did not give a square window"

# ---- hostile config.txt files ----
hostile() {  # hostile NAME: config.txt already written in $WORK/NAME
    H=$WORK/$1
    run_host "$H" frames=2
    rc=$?
    [ $rc = 0 ] || fail "$1: exit $rc"
    grep -q "^// Configuration for engine_host" "$H/config.txt" || fail "$1: config.txt not rewritten"
    grep -qE "^sound_volume ([0-9]|[1-9][0-9]|1[0-9][0-9]|2[0-4][0-9]|25[0-6]) //" "$H/config.txt" ||
        fail "$1: sound_volume out of range"
}
mkdir -p "$WORK/random" "$WORK/longline" "$WORK/overflow" "$WORK/nul"
head -c 1048576 /dev/urandom >"$WORK/random/config.txt"
hostile random
awk 'BEGIN { s = ""; for (i = 0; i < 10000; i++) s = s "x"; print s; print "sessions 7"; print s "sessions 9" }' \
    >"$WORK/longline/config.txt"
hostile longline
printf 'sessions 99999999999999999999\nsound_volume -99999999999999999999\nwindow_size 4294967296 -4294967296\nmix_buffer_size 2147483648\nrmb_key\nsessions\n' \
    >"$WORK/overflow/config.txt"
hostile overflow
grep -q "^sessions 2147483647 //" "$WORK/overflow/config.txt" || fail "overflowing sessions not clamped and held"
grep -q "^window_size 2147483647 -2147483648 //" "$WORK/overflow/config.txt" || fail "window_size not clamped"
printf 'sound_volume 12\000junk\nwindowed 1\r\n\000\000\n' >"$WORK/nul/config.txt"
hostile nul

# ---- hostile paths ----
# an over-long -home stops the start with status 1 and one message, writing nothing
# (not even to the default per-user folder)
LONG=$WORK/$(awk 'BEGIN { for (i = 0; i < 1100; i++) printf "h" }')
mkdir -p "$WORK/user"
HOME=$WORK/user "$HOST" -home "$LONG" -headless frames=1 >"$WORK/long.out" 2>"$WORK/long.err"
rc=$?
[ $rc = 1 ] || fail "over-long -home exited $rc"
[ "$(cat "$WORK/long.err")" = "-home: longer than 944 characters; not starting" ] ||
    fail "over-long -home: standard error: $(cat "$WORK/long.err")"
[ -z "$(ls -A "$WORK/user")" ] || fail "over-long -home wrote $(find "$WORK/user")"
touch "$WORK/afile"
"$HOST" -home "$WORK/afile" -headless frames=1 >/dev/null 2>&1 || fail "-home naming a file exited $?"

if [ $FAILS -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "engine_host: all checks passed"
