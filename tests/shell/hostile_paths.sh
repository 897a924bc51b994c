#!/bin/sh
# Cart paths that are no cart: a device, a pipe, a folder, a sparse 3 GB file,
# a file past the largest cart, a text cart with a line past the reader's
# buffer. The player (-x) and z6cart refuse each at once with status 1; the
# pipe is never opened (opening it would block). Then a player blocked in a
# long step (opening a pipe named by -i) still ends by SIGTERM, and a running
# one ends on SIGTERM or SIGINT through its normal exit, with 128 + the
# signal's number as its status. A relative
# -home keeps save and mkdir inside its carts folder and names the same cart
# data, and a relative desktop_path the same folder, from wherever the player
# runs next.
# Usage: hostile_paths.sh path/to/zibo6 path/to/z6cart path/to/tests/shell
set -u
PLAYER=$1
TOOL=$2
HERE=$3
WORK=$(mktemp -d "${TMPDIR:-/tmp}/hostile_paths.XXXXXX")
PIDS=""
cleanup() {
    for p in $PIDS; do kill -9 "$p" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
FAILS=0
fail() {
    echo "FAIL: $*"
    FAILS=$((FAILS + 1))
}

mkfifo "$WORK/pipe.z6"
mkdir "$WORK/folder.z6"
truncate -s 3G "$WORK/sparse.z6"
# a good cart padded with ignored lines to one byte past 4 MiB
{
    cat "$HERE/carts/hello.z6"
    printf '__gff__\n' # rows past the second are ignored
    head -c 4194304 /dev/zero | tr '\0' 'x' | fold -w 1000
} | head -c 4194305 >"$WORK/big.z6"
[ "$(wc -c <"$WORK/big.z6")" = 4194305 ] || fail "big.z6 size"
# the same cart cut to 4 MiB loads: the bound, not the content, refused it
head -c 4194304 "$WORK/big.z6" >"$WORK/at_limit.z6"
# one code line of 200,000 characters
{
    printf 'zibo-6 cartridge // x\nversion 33\n__lua__\n'
    head -c 200000 /dev/zero | tr '\0' 'a'
    printf '\n'
} >"$WORK/long_line.z6"

for cart in /dev/zero "$WORK/pipe.z6" "$WORK/folder.z6" "$WORK/sparse.z6" "$WORK/big.z6" \
    "$WORK/long_line.z6"; do
    # the time-out only catches the old freeze (a pipe blocked for ever)
    timeout 120 "$PLAYER" -x "$cart" -home "$WORK/home" >"$WORK/out" 2>&1
    rc=$?
    [ "$rc" = 1 ] || fail "zibo6 -x $cart: exit status $rc"
    grep -qx "could not load $cart" "$WORK/out" || fail "zibo6 -x $cart: no refusal"
    timeout 120 "$TOOL" info "$cart" >"$WORK/out" 2>&1
    rc=$?
    [ "$rc" = 1 ] || fail "z6cart info $cart: exit status $rc"
done
"$TOOL" info "$WORK/at_limit.z6" >"$WORK/out" 2>&1 || fail "a cart of 4 MiB was refused"
timeout 120 "$TOOL" info "$WORK/long_line.z6" >"$WORK/out" 2>&1
grep -q "status 2" "$WORK/out" || fail "a code line past the buffer: not reported as code too long"

# z6cart compress and decompress: an input that cannot be read (missing, a
# pipe, /dev/zero through a link, one byte past the bound) is status 1 and the
# output keeps what it held
ln -s /dev/zero "$WORK/zero_link"
head -c 65536 /dev/zero | tr '\0' 'a' >"$WORK/code_over.lua" # PXA_TEXT_MAX + 1
for cmd in compress decompress; do
    for in in "$WORK/missing" "$WORK/pipe.z6" "$WORK/zero_link" "$WORK/code_over.lua"; do
        [ "$cmd" = decompress ] && [ "$in" = "$WORK/code_over.lua" ] && in="$WORK/big.z6"
        printf 'kept' >"$WORK/out.bin"
        timeout 120 "$TOOL" "$cmd" "$in" "$WORK/out.bin" >"$WORK/out" 2>&1
        rc=$?
        [ "$rc" = 1 ] || fail "z6cart $cmd $in: exit status $rc"
        [ "$(cat "$WORK/out.bin")" = kept ] || fail "z6cart $cmd $in: the output was replaced"
    done
done
head -c 65535 /dev/zero | tr '\0' 'a' >"$WORK/code_at.lua"
"$TOOL" compress "$WORK/code_at.lua" "$WORK/out.bin" >"$WORK/out" 2>&1 ||
    fail "z6cart compress: code of 65,535 characters refused"

# per-user files that are no files of their size: a pipe as config.txt or as
# cart data neither blocks nor is replaced; /dev/zero as config.txt is not read
mkdir -p "$WORK/h_pipe/cdata"
mkfifo "$WORK/h_pipe/config.txt" "$WORK/h_pipe/cdata/paths_count.z6d.txt"
printf 'zibo-6 cartridge\nversion 33\n__lua__\n%s\n' \
    'cartdata("paths_count") printh("count "..dget(0))' >"$WORK/cdata_read.z6"
timeout 120 "$PLAYER" -x "$WORK/cdata_read.z6" -home "$WORK/h_pipe" >"$WORK/out" 2>&1
rc=$?
[ "$rc" = 0 ] || fail "a pipe as config.txt or cart data: status $rc"
grep -qx "count 0" "$WORK/out" || fail "a pipe as cart data: $(cat "$WORK/out")"
[ -p "$WORK/h_pipe/cdata/paths_count.z6d.txt" ] || fail "the cart-data pipe was replaced"
mkdir -p "$WORK/h_zero"
ln -s /dev/zero "$WORK/h_zero/config.txt"
timeout 120 "$PLAYER" -x "$WORK/cdata_read.z6" -home "$WORK/h_zero" >"$WORK/out" 2>&1 ||
    fail "/dev/zero as config.txt: status $?"

# under -x a failed write of cart data, a printh log, a screenshot or a GIF
# also says so on stderr (nothing draws the status line): folders stand where
# the files go, and the desktop folder is a file
mkdir -p "$WORK/h_fail/cdata/fail_id.z6d.txt" "$WORK/h_fail/appdata/zibo-6/blocked.txt" \
    "$WORK/h_fail/appdata/zibo-6/blocked2.txt"
printf 'not a folder' >"$WORK/h_fail/desktop"
printf 'zibo-6 cartridge\nversion 33\n__lua__\n%s\n%s\n' \
    'cartdata("fail_id") dset(0, 1) printh("x", "blocked.txt", true) printh("y", "blocked2.txt")' \
    'extcmd("rec") for i = 1, 3 do flip() end extcmd("screen") extcmd("video")' \
    >"$WORK/fail.z6"
timeout 120 "$PLAYER" -x "$WORK/fail.z6" -home "$WORK/h_fail" -desktop "$WORK/h_fail/desktop" \
    >/dev/null 2>"$WORK/err"
for line in "** could not save cart data **" "printh: could not write file" \
    "** could not save screenshot" "** could not save gif"; do
    grep -qxF "$line" "$WORK/err" || fail "-x: \"$line\" not on stderr: $(cat "$WORK/err")"
done
[ "$(grep -cxF "printh: could not write file" "$WORK/err")" -ge 2 ] ||
    fail "-x: a failed printh append was not reported"

# a relative -home (./h, ., ../x, a:h): save and mkdir that climb out of the
# carts folder write nothing; a plain save lands in the carts folder, and
# config.txt keeps root_path absolute
for h in ./h . ../x a:h; do
    rm -rf "$WORK/rel" && mkdir -p "$WORK/rel/a/b/c"
    printf 'zibo-6 cartridge\nversion 33\n__lua__\n%s\n' \
        'save("../../../escaped") mkdir("../../../escdir") save("/../../up") save("kept")' \
        >"$WORK/rel/a/b/c/c.z6"
    (cd "$WORK/rel/a/b/c" && timeout 120 "$PLAYER" -x c.z6 -home "$h") >"$WORK/out" 2>&1
    escaped=$(find "$WORK/rel" -name 'escaped*' -o -name escdir -o -name 'up.z6')
    [ -z "$escaped" ] || fail "-home $h: written outside the carts folder: $escaped"
    [ -f "$WORK/rel/a/b/c/$h/carts/kept.z6" ] || fail "-home $h: the plain save is missing"
    grep -qxF "root_path $(cd "$WORK/rel/a/b/c/$h" && pwd -P)/carts/" \
        "$WORK/rel/a/b/c/$h/config.txt" || fail "-home $h: config.txt keeps a relative root_path"
done

# a relative desktop_path of config.txt names one folder from wherever the player
# runs: the first run keeps it absolute, the next one from elsewhere reads that
mkdir -p "$WORK/desk/A" "$WORK/desk/B" "$WORK/desk/h"
printf 'desktop_path a:shots\n' >"$WORK/desk/h/config.txt"
printf 'zibo-6 cartridge\nversion 33\n__lua__\nextcmd("screen", 1, 0)\n' >"$WORK/desk/shot.z6"
for from in A B; do
    (cd "$WORK/desk/$from" && timeout 120 "$PLAYER" -x ../shot.z6 -home ../h) \
        >"$WORK/out" 2>&1 || fail "desktop_path a:shots: the run from $from failed: $(cat "$WORK/out")"
done
[ -f "$WORK/desk/A/a:shots/shot_0.png" ] && [ -f "$WORK/desk/A/a:shots/shot_1.png" ] &&
    [ ! -e "$WORK/desk/B/a:shots" ] ||
    fail "desktop_path a:shots: screenshots in two folders: $(cd "$WORK/desk" && find . -name '*.png')"

# cart data of a relative -home is the same cart data when the next run names
# the folder absolutely from elsewhere, even where the relative path names another
cdata_cart="$WORK/rel/count.z6"
printf 'zibo-6 cartridge\nversion 33\n__lua__\n%s\n' \
    'cartdata("paths_count") printh("count "..dget(0)) dset(0, dget(0) + 1)' >"$cdata_cart"
mkdir -p "$WORK/rel/first" "$WORK/rel/other/h/cdata" "$WORK/rel/other/h/carts"
printf 'decoy\n' >"$WORK/rel/other/h/cdata/decoy.txt"
printf 'decoy\n' >"$WORK/rel/other/h/carts/decoy.z6"
(cd "$WORK/rel/first" && timeout 120 "$PLAYER" -x "$cdata_cart" -home ./h) >"$WORK/out1" 2>&1
(cd "$WORK/rel/other" && timeout 120 "$PLAYER" -x "$cdata_cart" -home "$WORK/rel/first/h") \
    >"$WORK/out2" 2>&1
grep -qx "count 0" "$WORK/out1" || fail "relative -home: first run: $(cat "$WORK/out1")"
grep -qx "count 1" "$WORK/out2" || fail "relative -home: the next run read other cart data"
grep -q "root_path $WORK/rel/first/h/carts/" "$WORK/rel/first/h/config.txt" ||
    fail "config.txt keeps a relative root_path"

# a player blocked in opening the pipe named by -i ends on SIGTERM
"$PLAYER" -x "$HERE/carts/hello.z6" -i "$WORK/pipe.z6" -home "$WORK/home" >"$WORK/term.out" 2>&1 &
pid=$!
PIDS="$pid"
blocked=0
for i in $(seq 1 600); do # up to 60 s for the player to reach the open
    if [ "$(cut -d' ' -f1 /proc/$pid/syscall 2>/dev/null)" = 257 ]; then
        blocked=1
        break
    fi
    sleep 0.1
done
[ "$blocked" = 1 ] || fail "the player never blocked in opening the pipe"
kill -TERM "$pid"
ended=0
for i in $(seq 1 300); do # generous: the grace before the forced end is 3 s
    if ! kill -0 "$pid" 2>/dev/null; then
        ended=1
        break
    fi
    sleep 0.1
done
[ "$ended" = 1 ] || fail "the blocked player ignored SIGTERM"
wait "$pid"
rc=$?
[ "$rc" = 143 ] || fail "the blocked player ended with status $rc, not by SIGTERM"
PIDS=""

# a running player ends on SIGTERM or SIGINT through its normal exit (config.txt
# and the cart's data written), then with 128 + the signal's number
for sig in TERM:143 INT:130; do
    h=$WORK/home_${sig%:*}
    mkdir -p "$h"
    # An output file of each run's own: the previous run's "spinning" must not
    # send the signal before this player has even started (a background job's
    # SIGINT is ignored until the player installs its handler).
    out=$WORK/spin_${sig%:*}.out
    "$PLAYER" -x "$HERE/carts/spin.z6" -home "$h" >"$out" 2>&1 &
    pid=$!
    PIDS="$pid"
    for i in $(seq 1 600); do
        grep -q "^spinning" "$out" && break
        sleep 0.1
    done
    kill -"${sig%:*}" "$pid"
    wait "$pid"
    rc=$?
    PIDS=""
    [ "$rc" = "${sig#*:}" ] || fail "a running player ended with status $rc on SIG${sig%:*}"
    [ -f "$h/config.txt" ] || fail "SIG${sig%:*} skipped the normal exit: no config.txt"
    # the word is a 16.16 number: 3 is 00030000
    [ "$(head -c 8 "$h/cdata/spin.z6d.txt" 2>/dev/null)" = 00030000 ] ||
        fail "SIG${sig%:*} lost the cart's data"
done

[ "$FAILS" = 0 ] || exit 1
echo "ok"
