#!/bin/sh
# z6sfx end to end: renders an sfx and a song of a text cart to raw samples and
# checks their length and values.
set -eu
z6sfx=$1
cart=$(dirname "$0")/carts/square_and_song.z6
out=${TMPDIR:-/tmp}/z6sfx_test.$$
trap 'rm -f "$out".*' EXIT

# Sfx 1: square wave at pitch 36, volume 7, speed 16: 512 ticks of 183 samples after
# the channel's first (idle) tick, written in buffers of 1024 plus one more.
"$z6sfx" render "$cart" 1 "$out.sfx"
size=$(wc -c <"$out.sfx")
[ "$size" -eq $((93 * 1024 * 2)) ] || { echo "sfx render: $size bytes"; exit 1; }
square=$(od -An -v -td2 "$out.sfx" | tr -s ' ' '\n' | grep -c -x -e 8062 -e -8062)
[ "$square" -gt 93000 ] || { echo "sfx render: only $square samples at +-8062"; exit 1; }

# The song stops after its one pattern (512 ticks): the same length.
"$z6sfx" music "$cart" 0 "$out.song"
size=$(wc -c <"$out.song")
[ "$size" -eq $((93 * 1024 * 2)) ] || { echo "music render: $size bytes"; exit 1; }
sounding=$(od -An -v -td2 "$out.song" | tr -s ' ' '\n' | grep -c -v -x -e 0 -e '')
[ "$sounding" -gt 90000 ] || { echo "music render: only $sounding samples sound"; exit 1; }

# An XM module (from the test generator) plays once through: 64 rows of 6 ticks of
# 441 samples, then the buffer that holds the end and one more.
xm=$(dirname "$0")/fuzz_corpus/xm
"$z6sfx" xm "$xm/one_note.xm" "$out.xm"
size=$(wc -c <"$out.xm")
[ "$size" -eq $((167 * 1024 * 2)) ] || { echo "xm render: $size bytes"; exit 1; }
sounding=$(od -An -v -td2 "$out.xm" | tr -s ' ' '\n' | grep -c -v -x -e 0 -e '')
[ "$sounding" -gt 160000 ] || { echo "xm render: only $sounding samples sound"; exit 1; }
if "$z6sfx" xm "$xm/nine_channels.xm" "$out.bad" 2>/dev/null; then echo "9 channels"; exit 1; fi

# Bad arguments are refused with a message and no file.
if "$z6sfx" render "$cart" 64 "$out.bad" 2>/dev/null; then echo "sfx 64 accepted"; exit 1; fi
if "$z6sfx" render "$cart.missing" 1 "$out.bad" 2>/dev/null; then echo "missing cart"; exit 1; fi
if "$z6sfx" play "$cart" 1 "$out.bad" 2>/dev/null; then echo "bad command"; exit 1; fi
[ ! -e "$out.bad" ] || { echo "a refused render wrote a file"; exit 1; }
# A file made read-only is kept, whoever runs the tool (root too).
printf 'kept' >"$out.locked"
chmod 444 "$out.locked"
if "$z6sfx" render "$cart" 1 "$out.locked" 2>/dev/null; then echo "read-only file rendered over"; exit 1; fi
[ "$(cat "$out.locked")" = kept ] || { echo "a read-only file was written"; exit 1; }
echo ok
