#!/bin/sh
# One case of tests/shell/window_cases.txt: the player in a real window under
# Xvfb, driven by the case's input script (ZIBO6_INPUT_SCRIPT), so that each
# step and each dump falls on the same console frame on any machine; once the
# player has ended, the case's expectations are checked. Skipped with a
# message where Xvfb is missing.
# Usage: window_case.sh ZIBO6 DATA_POD MKDATAPOD WINDOWCMP SOURCE_DIR CASE
set -u
PLAYER=$1
DATAPOD=$2
MKDATAPOD=$3
WINDOWCMP=$4
SRC=$5
CASE=$6
NAME=window_$CASE
. "$SRC/tests/support/window_lib.sh"
need_tools 77 Xvfb
T=$SRC/tests/shell
H=$WORK/home
mkdir -p "$H"
cp "$PLAYER" "$WORK/zibo6"
cp "$DATAPOD" "$WORK/data.pod"
ARGS=""
AUDIO="SDL_AUDIODRIVER=dummy"

# The case's lines: set-up, input steps (dumps land in WORK) and expectations.
set -f
awk -v c="$CASE" '$1 == "case" { on = $2 == c; next } on && NF && $1 !~ /^#/' \
    "$T/window_cases.txt" >"$WORK/case"
[ -s "$WORK/case" ] || { echo "FAIL: no case $CASE"; exit 1; }
while read -r word rest; do
    case $word in
    head)
        cp -R "$SRC/assets" "$WORK/assets"
        cp "$T/$rest" "$WORK/assets/carts/head.z6"
        "$MKDATAPOD" "$WORK/assets" "$WORK/data.pod" >/dev/null || { echo "FAIL: mkdatapod" >&2; exit 1; }
        ;;
    home) set -- $rest; mkdir -p "$(dirname "$H/$2")"; cp "$T/$1" "$H/$2" ;;
    args) ARGS=$rest ;;
    audio) AUDIO="SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$WORK/audio.raw" ;;
    frame)
        set -- $rest
        if [ "$2" = dump ]; then echo "frame $1 dump $WORK/$3"; else echo "frame $rest"; fi
        ;;
    expect) echo "$rest" >>"$WORK/expect" ;;
    *) echo "FAIL: case $CASE: unknown line: $word $rest" >&2; exit 1 ;;
    esac
done <"$WORK/case" >"$WORK/script"

start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }
# The player ends by the script's quit or by what the case tests; a player
# still running after LONG seconds is stopped and fails every check below.
# shellcheck disable=SC2086
env LSAN_OPTIONS="suppressions=$SRC/tests/platform/x11_lsan.supp" SDL_VIDEODRIVER=x11 $AUDIO \
    ZIBO6_INPUT_SCRIPT="$WORK/script" timeout -k 10 $LONG "$WORK/zibo6" -home "$H" -windowed 1 \
    $ARGS >"$WORK/out" 2>&1
rc=$?
[ $rc = 124 ] && fail "still running $LONG s after its start"

# nonzero: the count of bytes other than 0 on standard input.
nonzero() { od -An -v -tx1 | tr -s ' \n' '\n\n' | grep -cv '^0*$'; }
while read -r what a b; do
    case $what in
    status) [ "$rc" = "$a" ] || fail "exit status $rc, not $a" ;;
    printed)
        n=$(grep -cxF "$b" "$WORK/out")
        [ "$n" = "$a" ] || fail "printed \"$b\" $n times, not $a"
        ;;
    log) grep -qF "$a $b" "$H/log.txt" 2>/dev/null || fail "log.txt lacks \"$a $b\"" ;;
    sound) [ "$(nonzero <"$WORK/audio.raw" 2>/dev/null)" -ge 1000 ] || fail "no sound in audio.raw" ;;
    *)
        # DUMP shows PICTURE | DUMP same DUMP2 | DUMP differs DUMP2
        [ -s "$WORK/$what" ] || { fail "no dump $what"; continue; }
        case $a in
        shows)
            cp "$T/$b" "$WORK/want_$what"
            "$WINDOWCMP" "$WORK/$what" "$WORK/want_$what" >"$WORK/cmp.log" 2>&1 ||
                fail "$what does not show $b: $(cat "$WORK/cmp.log")"
            ;;
        same) cmp -s "$WORK/$what" "$WORK/$b" || fail "$what differs from $b" ;;
        differs) cmp -s "$WORK/$what" "$WORK/$b" && fail "$what is the same as $b" ;;
        *) fail "unknown expectation: $what $a $b" ;;
        esac
        ;;
    esac
done <"$WORK/expect"

[ "$FAILS" = 0 ] || { cat "$WORK/out"; exit 1; }
echo "$NAME: all passed"
