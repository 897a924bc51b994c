#!/bin/sh
# save_full_disk.sh ZIBO6: save() from a headless script on a disk that fills up
# part-way (a file size limit stands in for it). The cart already saved under the
# name keeps every byte, no cut backup is left, and the script hears "failed to save";
# config.txt, written at exit, keeps its bytes too and the failure is said. A cart file
# made read-only is kept the same way, whoever runs the player (root too).
set -u
zibo6=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home=$work/home
fail() { echo "FAIL: $*"; [ -f "$work/out.txt" ] && cat "$work/out.txt"; exit 1; }

# A script cart that saves itself as "big"; ROWS rows of sprite data set its size.
script() { # NAME ROWS DIGIT
    {
        printf 'zibo-6 cartridge // saves itself\nversion 33\n__lua__\n'
        printf 'save("big") save("big")\n__gfx__\n'
        awk -v rows="$2" -v d="$3" 'BEGIN { for (y = 0; y < rows; y++) {
            line = ""; for (x = 0; x < 128; x++) line = line ((x * 7 + y + d) % 16 < 10 ? (x * 7 + y + d) % 16 : substr("abcdef", (x * 7 + y + d) % 16 - 9, 1))
            print line } }'
    } >"$work/$1.z6"
}
run() { # NAME [BLOCKS]: 512-byte blocks any file may hold
    (
        trap '' XFSZ
        [ $# -gt 1 ] && ulimit -f "$2"
        exec timeout 600 "$zibo6" -x "$work/$1.z6" -home "$home"
    ) >"$work/out.txt" 2>&1
}
backups() { ls "$home/backup" 2>/dev/null | grep -c '_big\.z6$'; }

script small 16 1
script large 128 2
run small || fail "first save"
[ -f "$home/carts/big.z6" ] || fail "carts/big.z6 was not written"
cp "$home/carts/big.z6" "$work/old.z6"

# The new file does not fit: the old one stays, its backup is whole.
run large 12 || fail "the run whose save failed ended with status $?"
grep -q '^failed to save$' "$work/out.txt" || fail "no failure reported"
cmp -s "$home/carts/big.z6" "$work/old.z6" || fail "carts/big.z6 changed"
[ "$(backups)" -le 1 ] || fail "more than one backup"
for b in "$home"/backup/*_big.z6; do
    [ -f "$b" ] && { cmp -s "$b" "$work/old.z6" || fail "backup $b is not the old file"; }
done

# Now the old file is the large one and not even its backup fits: nothing goes on.
run large || fail "second save"
cp "$home/carts/big.z6" "$work/old.z6"
before=$(backups)
cp "$home/config.txt" "$work/config.txt" || fail "no config.txt after a run"
run small 4 || fail "the run whose save failed ended with status $?"
grep -q '^failed to save$' "$work/out.txt" || fail "no failure reported"
cmp -s "$home/carts/big.z6" "$work/old.z6" || fail "carts/big.z6 changed"
# config.txt (over 2 KB) is written at exit and does not fit either: kept, and said so.
cmp -s "$home/config.txt" "$work/config.txt" || fail "config.txt changed"
grep -q '^could not write config.txt$' "$work/out.txt" || fail "config.txt failure not reported"
[ "$(backups)" = "$before" ] || fail "a cut backup was left"
ls -a "$home/carts" | grep -q '\.tmp$' && fail "a temporary file was left"

chmod 444 "$home/carts/big.z6"
run small || fail "the run whose save was refused ended with status $?"
grep -q '^failed to save$' "$work/out.txt" || fail "no failure reported for a read-only file"
cmp -s "$home/carts/big.z6" "$work/old.z6" || fail "read-only carts/big.z6 changed"
ls -a "$home/carts" | grep -q '\.tmp$' && fail "a temporary file was left beside a read-only one"
echo "save on a full disk: all checks passed"
