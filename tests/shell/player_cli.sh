#!/bin/sh
# The player end to end from the command line: headless -x runs, refused carts
# and data files, config.txt across runs and hostile config.txt files.
# Usage: player_cli.sh path/to/zibo6 path/to/tests/shell
set -u
PLAYER=$1
HERE=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/player_cli.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
FAILS=0

fail() {
    echo "FAIL: $*"
    FAILS=$((FAILS + 1))
}

# play NAME [args...]: runs the player, output in $WORK/NAME.out, status in $rc
play() {
    name=$1
    shift
    timeout 120 "$PLAYER" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err"
    rc=$?
}

expect_output() { # expect_output NAME TEXT
    printf '%s' "$2" >"$WORK/$1.want"
    if ! cmp -s "$WORK/$1.want" "$WORK/$1.out"; then
        fail "$1: output differs"
        diff "$WORK/$1.want" "$WORK/$1.out" | head -10
    fi
}

HOME_DIR=$WORK/home
CART=$HERE/carts/hello.z6

# ---- a headless run prints its cart's output and exits 0 ----
play hello -x "$CART" -home "$HOME_DIR"
[ "$rc" = 0 ] || fail "hello: exit status $rc"
expect_output hello "RUNNING: $CART
hello
"

# ---- a headless run never loads the window system's library (the loader's
# list of the libraries it starts), and still prints its cart's output ----
LD_DEBUG=libs LD_DEBUG_OUTPUT=$WORK/libs timeout 120 "$PLAYER" -x "$CART" -home "$HOME_DIR" \
    >"$WORK/libs.out" 2>/dev/null
rc=$?
[ "$rc" = 0 ] || fail "libs: exit status $rc"
expect_output libs "RUNNING: $CART
hello
"
if ! cat "$WORK"/libs.* | grep -q 'calling init: .*libc\.so'; then
    fail "libs: the loader's list of the libraries it started is missing"
elif cat "$WORK"/libs.* | grep -q 'calling init: .*libSDL2'; then
    fail "libs: a headless run loaded SDL"
fi

# ---- the frame rate: a light 60 fps cart draws at 60, a 30 fps cart halved by
# a slow start is back at 30 within two seconds, one over its budget runs at half
# (each cart prints its verdict; see the carts for what they measure) ----
for verdict in "rate_light_60:60 fps" "rate_slow_start:lowest 15 back at 30" \
    "rate_over_budget:s7 30"; do
    rate_cart=${verdict%%:*}
    play "$rate_cart" -x "$HERE/carts/$rate_cart.z6" -home "$HOME_DIR"
    [ "$rc" = 0 ] || fail "$rate_cart: exit status $rc"
    grep -qxF "${verdict#*:}" "$WORK/$rate_cart.out" ||
        fail "$rate_cart: no line \"${verdict#*:}\": $(tail -n +2 "$WORK/$rate_cart.out")"
done

# ---- an option takes exactly its values: four numbers of -draw_rect leave the cart ----
play draw_rect -x -draw_rect 0 0 128 128 "$CART" -home "$HOME_DIR"
[ "$rc" = 0 ] || fail "draw_rect: exit status $rc"
expect_output draw_rect "RUNNING: $CART
hello
"

# ---- a cart that does not load ----
play missing -x "$WORK/nothing.z6" -home "$HOME_DIR"
[ "$rc" = 1 ] || fail "missing cart: exit status $rc"
expect_output missing "RUNNING: $WORK/nothing.z6
could not load $WORK/nothing.z6
"

# ---- a program without its data file, or with a foreign one ----
mkdir -p "$WORK/bare"
cp "$PLAYER" "$WORK/bare/zibo6"
"$WORK/bare/zibo6" -x "$CART" -home "$HOME_DIR" >"$WORK/bare.out" 2>&1
rc=$?
[ "$rc" = 1 ] || fail "no data.pod: exit status $rc"
grep -qx "couldn't load $WORK/bare/data.pod" "$WORK/bare.out" || fail "no data.pod: message"
head -c 4096 /dev/urandom >"$WORK/bare/data.pod"
"$WORK/bare/zibo6" -x "$CART" -home "$HOME_DIR" >"$WORK/foreign.out" 2>&1
rc=$?
[ "$rc" = 1 ] || fail "foreign data.pod: exit status $rc"
grep -qx "couldn't load $WORK/bare/data.pod" "$WORK/foreign.out" || fail "foreign data.pod: message"

# ---- engine flags without a value never take the cart's place ----
play flags1 -headless "$CART" -x -home "$HOME_DIR"
expect_output flags1 "RUNNING: $CART
hello
"
play flags2 -windowed 1 "$CART" -x -home "$HOME_DIR"
expect_output flags2 "RUNNING: $CART
hello
"

# ---- future carts load only with -accept_future, which a -x cart already sees ----
FUTURE=$HERE/carts/future_version.z6
play future -x "$FUTURE" -home "$HOME_DIR"
[ "$rc" = 1 ] || fail "future cart without -accept_future: exit status $rc"
play future_ok -accept_future 1 -x "$FUTURE" -home "$HOME_DIR"
[ "$rc" = 0 ] || fail "future cart with -accept_future: exit status $rc"
grep -qx "from the future" "$WORK/future_ok.out" || fail "future cart did not run"

# ---- -export loads the cart and quits before running it ----
play export -export "out.bin" "$CART" -home "$HOME_DIR"
[ "$rc" = 0 ] || fail "-export: exit status $rc"
grep -qx "hello" "$WORK/export.out" && fail "-export ran the cart"

# ---- two runs: per-user folders, clamped values, settings kept ----
H2=$WORK/two
play first -x "$CART" -home "$H2" -volume 300 -gif_len 20
for d in carts backup cdata cstore plates bbs bbs/carts bbs/labels; do
    [ -d "$H2/$d" ] || fail "per-user folder $d missing"
done
grep -qx "volume 256" "$H2/config.txt" || fail "-volume 300 not written as 256"
grep -qx "gif_len 20" "$H2/config.txt" || fail "-gif_len 20 not written"
play second -x "$CART" -home "$H2"
grep -qx "gif_len 20" "$H2/config.txt" || fail "gif_len not kept across runs"
grep -q "^sessions 2 " "$H2/config.txt" || fail "second run: sessions is not 2"
grep -qx "root_path $H2/carts/" "$H2/config.txt" || fail "root_path default"

# ---- hostile config.txt files start the player with defaults or clamped values ----
H3=$WORK/hostile
mkdir -p "$H3"
head -c 20000 /dev/urandom >"$H3/config.txt"
play random -x "$CART" -home "$H3"
[ "$rc" = 0 ] || fail "random config.txt: exit status $rc"
awk 'BEGIN {
    line = ""; for (i = 0; i < 10000; i++) line = line "9"
    print "volume " line; print "gif_len -" line; print "root_path"
    print "button_keys 99999999999999999999999999 -7 300"; print "tab_width " line; print line line
}' >"$H3/config.txt"
play long -x "$CART" -home "$H3"
[ "$rc" = 0 ] || fail "long config lines: exit status $rc"
expect_output long "RUNNING: $CART
hello
"
grep -qx "volume 256" "$H3/config.txt" || fail "overflowing volume not clamped"
grep -qx "gif_len 0" "$H3/config.txt" || fail "overflowing gif_len not clamped"
grep -qx "tab_width 8" "$H3/config.txt" || fail "overflowing tab_width not clamped"
grep -qx "button_keys 511 0 300 0 0 0 0 0 0 0 0 0 0 " "$H3/config.txt" || fail "button_keys not clamped"
grep -qx "root_path $H3/carts/" "$H3/config.txt" || fail "bare root_path not replaced"

# ---- files the player does not read (cart data and config.txt past their
# limits, the user's settings in the latter) stay byte for byte through a run
# that changes nothing, and the refusals are logged; once the cart stores a
# value its old cart data is backed up whole before it is replaced ----
H6=$WORK/unread
mkdir -p "$H6/cdata"
{
    for l in 1 2 3 4 5 6 7 8; do
        printf '0001000000020000000300000004000000050000000600000007000000080000\n'
    done
    head -c 66001 /dev/zero | tr '\0' ' '
} >"$H6/cdata/big.z6d.txt"
{
    printf 'volume 77\nbackground_sleep_ms 20\n// '
    head -c 1048576 /dev/zero | tr '\0' c
    printf '\n'
} >"$H6/config.txt"
cp "$H6/cdata/big.z6d.txt" "$WORK/big.kept"
cp "$H6/config.txt" "$WORK/config.kept"
printf 'zibo-6 cartridge\nversion 33\n__lua__\n%s\n' \
    'printh(tostr(cartdata("big")).." "..dget(0))' >"$WORK/unread.z6"
play unread -x "$WORK/unread.z6" -home "$H6"
[ "$rc" = 0 ] || fail "unread files: exit status $rc"
expect_output unread "RUNNING: $WORK/unread.z6
false 0
"
cmp -s "$H6/cdata/big.z6d.txt" "$WORK/big.kept" || fail "unread cart data was replaced"
cmp -s "$H6/config.txt" "$WORK/config.kept" || fail "unread config.txt was replaced"
grep -qF "cart data $H6/cdata/big.z6d.txt not read" "$H6/log.txt" ||
    fail "the unread cart data is not logged"
grep -qF "config.txt: $H6/config.txt not read" "$H6/log.txt" || fail "the unread config.txt is not logged"
grep -qF "config.txt: $H6/config.txt not read" "$WORK/unread.err" ||
    fail "the unread config.txt is not on stderr"
[ -z "$(ls -A "$H6/backup")" ] || fail "unread files: backed up with nothing stored"
printf 'zibo-6 cartridge\nversion 33\n__lua__\ncartdata("big") dset(0, 2)\n' >"$WORK/store.z6"
play store -x "$WORK/store.z6" -home "$H6"
[ "$(head -c 16 "$H6/cdata/big.z6d.txt")" = 0002000000000000 ] || fail "stored cart data not written"
cmp -s "$H6/backup/"*big* "$WORK/big.kept" || fail "the replaced cart data was not backed up whole"

# ---- the board host option: used for the run, never written to config.txt ----
H4=$WORK/home4
play bbs_host -x "$CART" -home "$H4" -bbs_host 127.0.0.1:8123
[ "$rc" = 0 ] || fail "-bbs_host: exit status $rc"
expect_output bbs_host "RUNNING: $CART
hello
"
grep -q "^volume " "$H4/config.txt" || fail "-bbs_host: config.txt was not written"
! grep -q "8123\|bbs_host" "$H4/config.txt" || fail "-bbs_host was written to config.txt"
play bbs_bad -x "$CART" -home "$H4" -bbs_host 'h/x"$(id)'
[ "$rc" = 0 ] || fail "bad -bbs_host: exit status $rc"
grep -q '^-bbs_host: not a board host: "h/x"$(id)"' "$WORK/bbs_bad.err" ||
    fail "bad -bbs_host: no message"

# deep N: a new folder whose path has N characters (no name in it over 200)
deep() {
    d=$WORK/deep$1
    while [ $(($1 - ${#d})) -gt 201 ]; do d=$d/$(printf '%200s' | tr ' ' d); done
    d=$d/$(printf "%$(($1 - ${#d} - 1))s" | tr ' ' e)
    mkdir -p "$d" && echo "$d"
}

# ---- a folder option too long for a path stops the start at once: status 1,
# one message, nothing written to the default per-user folder, the -o file not
# made. The per-user folder keeps room for the longest name the player puts in
# it (cart data of a 64-character id under cdata/), so a -home of 1,018
# characters is refused as well ----
LONG=/$(printf '%2000s' | tr ' ' x)
mkdir -p "$WORK/user"
for opt in home root_path desktop cdata_path deep_home; do
    value=$LONG most=1022
    [ "$opt" = home ] && most=944
    [ "$opt" = deep_home ] && opt=home most=944 value=$(deep 1018)
    HOME=$WORK/user timeout 120 "$PLAYER" -x "$CART" -o "$WORK/long_$opt.o" "-$opt" "$value" \
        >"$WORK/long_$opt.out" 2>"$WORK/long_$opt.err"
    rc=$?
    [ "$rc" = 1 ] || fail "-$opt too long: exit status $rc"
    [ "$(cat "$WORK/long_$opt.err")" = "-$opt: longer than $most characters; not starting" ] ||
        fail "-$opt too long: standard error: $(cat "$WORK/long_$opt.err")"
    [ -s "$WORK/long_$opt.out" ] && fail "-$opt too long: printed $(cat "$WORK/long_$opt.out")"
    [ -z "$(ls -A "$WORK/user")" ] || fail "-$opt too long: wrote $(find "$WORK/user")"
    [ -e "$WORK/long_$opt.o" ] && fail "-$opt too long: the -o file was made"
    [ "$value" = "$LONG" ] || [ -z "$(ls -A "$value")" ] || fail "-home of 1018: wrote in it"
done

# ---- a -home with just the room keeps a cart's data across runs; where the
# per-user folder has no room (a long $HOME), each failed cart-data save says so ----
printf 'zibo-6 cartridge\nversion 33\n__lua__\n%s\n' \
    'cartdata("deep") printh("was "..dget(0)) dset(0, dget(0) + 1)' >"$WORK/deep.z6"
DEEP=$(deep 944)
play deep1 -x "$WORK/deep.z6" -home "$DEEP"
play deep2 -x "$WORK/deep.z6" -home "$DEEP"
[ "$rc" = 0 ] || fail "-home of 944: exit status $rc"
expect_output deep2 "RUNNING: $WORK/deep.z6
was 1
"
# the folders config.txt now names are taken as they are, however long
[ -s "$WORK/deep2.err" ] && fail "-home of 944: the second run said $(cat "$WORK/deep2.err")"
HOME=$(deep 1000) timeout 120 "$PLAYER" -x "$WORK/deep.z6" >"$WORK/deep_home.out" \
    2>"$WORK/deep_home.err"
grep -qxF "** could not save cart data **" "$WORK/deep_home.err" ||
    fail "long HOME: the lost cart data was not reported: $(cat "$WORK/deep_home.err")"

# ---- no display: the window SDL would make on its offscreen driver shows
# nowhere, so unless SDL_VIDEODRIVER names a driver the player stops with the
# fatal error (standard output, log and standard error) and status 1 ----
H5=$WORK/home5
env -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY \
    LSAN_OPTIONS="suppressions=$HERE/../platform/x11_lsan.supp" \
    timeout 120 "$PLAYER" -home "$H5" >"$WORK/nodisplay.out" 2>"$WORK/nodisplay.err"
rc=$?
[ "$rc" = 1 ] || fail "no display: exit status $rc"
grep -qx "\*\* FATAL ERROR: Unable to create window" "$WORK/nodisplay.out" ||
    fail "no display: no fatal error on standard output"
grep -q "\*\* FATAL ERROR: Unable to create window" "$H5/log.txt" ||
    fail "no display: no fatal error in log.txt"
grep -q "\*\* FATAL ERROR: Unable to create window" "$WORK/nodisplay.err" ||
    fail "no display: no fatal error on standard error"
! grep -q "launcher: ready" "$WORK/nodisplay.out" || fail "no display: the head cart ran"

[ "$FAILS" = 0 ] || exit 1
echo "player_cli: all passed"
