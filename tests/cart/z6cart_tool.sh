#!/bin/sh
# z6cart info and convert: the stored cart with every section converts byte for
# byte, statuses and exit codes tell a loaded cart from a refused one, a
# failed write is reported, and a PNG cart's label reads back the same between
# z6cart and the player (ZIBO6, with its data.pod) both ways.
set -e
tool="$1"
carts="$2"
zibo6="$3"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Written by the writer: converts back to the same bytes, and again.
"$tool" convert "$carts/every_section.z6" "$tmp/once.z6" || fail "convert every_section"
cmp "$carts/every_section.z6" "$tmp/once.z6" || fail "every_section changed in conversion"
"$tool" convert "$tmp/once.z6" "$tmp/twice.z6" || fail "second convert"
cmp "$tmp/once.z6" "$tmp/twice.z6" || fail "second conversion changed the cart"

"$tool" info "$carts/every_section.z6" > "$tmp/info" || fail "info exit status"
grep -qx "version: 33" "$tmp/info" || fail "info version"
grep -qx "status: 0 (ok)" "$tmp/info" || fail "info status"
grep -qx "gfx: 128 rows" "$tmp/info" || fail "info gfx rows"
grep -qx "label: yes" "$tmp/info" || fail "info label"
grep -qx "sfx: 64" "$tmp/info" || fail "info sfx"

# A byte-order mark before the header, CR LF line ends: loads, and is written plainly.
printf '\357\273\277zibo-6 cartridge // x\r\nversion 8\r\n__lua__\r\nprint(1)\r\n' > "$tmp/bom.z6"
"$tool" convert "$tmp/bom.z6" "$tmp/bom_out.z6" || fail "bom cart"
tail -n 2 "$tmp/bom_out.z6" | head -n 1 | grep -qx "__lua__" || fail "bom cart sections"
tail -n 1 "$tmp/bom_out.z6" | grep -qx "print(1)" || fail "bom cart code"

# Converted as the player loads: map rows 32-63 reach the image (cell 1 of row 40
# is ROM byte 0x1401), and an old cart's fix-ups are kept once it is written anew
# (version 8: effect 1 at volume 0 was silent).
byte() { od -An -tx1 -j "$2" -N1 "$1" | tr -d ' \n'; }
{
    printf 'zibo-6 cartridge // x\nversion 33\n__lua__\nx=1\n__map__\n'
    awk 'BEGIN { for (y = 0; y < 64; y++) { l = ""; for (x = 0; x < 128; x++) l = l ((y == 40 && x == 1) ? "35" : "00"); print l } }'
} > "$tmp/map64.z6"
"$tool" convert "$tmp/map64.z6" "$tmp/map64.z6.rom" || fail "convert map64 to rom"
[ "$(byte "$tmp/map64.z6.rom" 5121)" = 35 ] || fail "map row 40 lost in the rom"
"$tool" convert "$tmp/map64.z6" "$tmp/map64_text.z6" || fail "convert map64 to text"
"$tool" convert "$tmp/map64_text.z6" "$tmp/map64_again.z6.rom" || fail "convert map64 back"
[ "$(byte "$tmp/map64_again.z6.rom" 5121)" = 35 ] || fail "map row 40 lost in the text cart"
{ printf 'zibo-6 cartridge // x\nversion 8\n__lua__\nx=1\n__sfx__\n0001000018601'
  i=0; while [ $i -lt 31 ]; do printf '00000'; i=$((i + 1)); done; printf '\n'; } > "$tmp/v8.z6"
"$tool" convert "$tmp/v8.z6" "$tmp/v8_new.z6" || fail "convert v8"
grep -q '^000100001860000000' "$tmp/v8_new.z6" || fail "legacy fix-up lost in conversion"

# The format is the final extension's alone.
"$tool" convert "$carts/every_section.z6" "$tmp/my.rom.z6" || fail "convert to my.rom.z6"
cmp "$carts/every_section.z6" "$tmp/my.rom.z6" || fail "my.rom.z6 is no text cart"

# Refused carts: exit status 1 and the reason on stderr.
printf 'zibo-6 cartridge\nversion 99\n' > "$tmp/future.z6"
if "$tool" info "$tmp/future.z6" 2> "$tmp/err"; then fail "future cart loaded"; fi
grep -q "status 1: future version" "$tmp/err" || fail "future status text"
printf 'not a cart\n' > "$tmp/plain.txt"
if "$tool" info "$tmp/plain.txt" 2>/dev/null; then fail "plain text loaded"; fi
if "$tool" info "$tmp/missing.z6" 2>/dev/null; then fail "missing file loaded"; fi
head -c 30 "$carts/every_section.z6" > "$tmp/cut.z6"
if "$tool" convert "$tmp/cut.z6" "$tmp/cut_out.z6" 2>/dev/null; then fail "cut header loaded"; fi
[ ! -e "$tmp/cut_out.z6" ] || fail "a refused cart wrote its target"

# A target that cannot be written.
if "$tool" convert "$carts/every_section.z6" "$tmp/no/such/folder.z6" 2>/dev/null; then
    fail "write into a missing folder reported success"
fi
if [ -w /dev/full ]; then
    if "$tool" convert "$carts/every_section.z6" /dev/full 2>/dev/null; then
        fail "full disk reported success"
    fi
    # What the printing commands print is lost the same way.
    for cmd in info hash tokens preprocess; do
        if "$tool" $cmd "$carts/every_section.z6" > /dev/full 2>/dev/null; then
            fail "$cmd onto a full disk reported success"
        fi
    done
fi

# Wrong command lines.
set +e
"$tool" 2>/dev/null; [ $? -eq 2 ] || fail "no arguments"
"$tool" convert only_one 2>/dev/null; [ $? -eq 2 ] || fail "convert with one file"
echo "z6cart tool: ok"

# Every format: text -> PNG -> ROM -> text keeps the cart (the hash names ROM
# data and code, which every format carries), and the code compresses both ways.
"$tool" convert "$carts/every_section.z6" "$tmp/every.z6.png" || fail "convert to png"
"$tool" convert "$tmp/every.z6.png" "$tmp/every.rom" || fail "convert png to rom"
[ "$(wc -c < "$tmp/every.rom")" -eq 32768 ] || fail "rom size"
"$tool" convert "$tmp/every.rom" "$tmp/every_back.z6" || fail "convert rom to text"
h0=$("$tool" hash "$carts/every_section.z6") || fail "hash text"
h1=$("$tool" hash "$tmp/every.z6.png") || fail "hash png"
h2=$("$tool" hash "$tmp/every_back.z6") || fail "hash back"
[ "$h0" = "$h1" ] && [ "$h0" = "$h2" ] || fail "hash changed across formats: $h0 $h1 $h2"
echo "$h0" | grep -qxE '[0-9a-f]{40}' || fail "hash form"
sed -n '/^__lua__$/,/^__gfx__$/p' "$carts/every_section.z6" | sed '1d;$d' > "$tmp/code.txt"
"$tool" compress "$tmp/code.txt" "$tmp/code.pxa" > /dev/null || fail "compress"
"$tool" decompress "$tmp/code.pxa" "$tmp/code_back.txt" || fail "decompress"
cmp "$tmp/code.txt" "$tmp/code_back.txt" || fail "code changed through compression"
# Plain text decompresses as it is up to 65,535 characters; a longer one is
# refused (status 1, a message) and OUT keeps its bytes, as compress does.
head -c 65535 /dev/zero | tr '\0' 'a' > "$tmp/plain_max.txt"
"$tool" decompress "$tmp/plain_max.txt" "$tmp/plain_max_out.txt" || fail "decompress of 65,535 characters"
cmp "$tmp/plain_max.txt" "$tmp/plain_max_out.txt" || fail "plain text changed through decompress"
printf 'a' | cat "$tmp/plain_max.txt" - > "$tmp/plain_long.txt"
if "$tool" convert "$tmp/missing.z6.png" "$tmp/x.z6" 2>/dev/null; then fail "missing png converted"; fi
# What decompress cannot give whole is refused the same way: a block cut short
# (its header states the length), plain text that a zero byte would end early
# (nor is such text compressed). Zeros after the text only pad it, as in a
# ROM's code block.
head -c $(($(wc -c < "$tmp/code.pxa") / 2)) "$tmp/code.pxa" > "$tmp/code_cut.pxa"
printf 'abc\000def' > "$tmp/zero_inside.txt"
printf 'print(1)\000\000\000' > "$tmp/zero_padded.txt"
for run in "compress plain_long.txt" "decompress plain_long.txt" "decompress code_cut.pxa" \
    "decompress zero_inside.txt" "compress zero_inside.txt"; do
    cmd=${run% *} in=${run#* }
    printf 'kept' > "$tmp/refused_out.txt"
    set +e
    "$tool" $cmd "$tmp/$in" "$tmp/refused_out.txt" 2> "$tmp/err_$in"
    status=$?
    set -e
    [ $status -eq 1 ] || fail "$run: exit status $status"
    [ -s "$tmp/err_$in" ] || fail "$run: no message"
    [ "$(cat "$tmp/refused_out.txt")" = kept ] || fail "$run wrote OUT"
done
code_len=$(wc -c < "$tmp/code.txt" | tr -d ' ')
grep -q "of $code_len characters decoded" "$tmp/err_code_cut.pxa" ||
    fail "the cut block's message: $(cat "$tmp/err_code_cut.pxa")"
"$tool" decompress "$tmp/zero_padded.txt" "$tmp/padded_out.txt" || fail "zero padding refused"
[ "$(cat "$tmp/padded_out.txt")" = "print(1)" ] || fail "zero padding kept in the text"
"$tool" compress "$tmp/zero_padded.txt" "$tmp/padded.pxa" > /dev/null || fail "compress of padding"

# A ROM whose compressed code is damaged (its block's second half overwritten):
# the player loads what decodes, the tools say the block is damaged and exit 1;
# convert writes nothing.
"$tool" convert "$carts/every_section.z6" "$tmp/whole.rom" || fail "convert to rom"
"$tool" info "$tmp/whole.rom" > "$tmp/info" || fail "info of a whole rom"
grep -qx "status: 0 (ok)" "$tmp/info" || fail "whole rom status"
clen=$((0x$(byte "$tmp/whole.rom" 17158)$(byte "$tmp/whole.rom" 17159))) # stated at 0x4306
cp "$tmp/whole.rom" "$tmp/damaged.rom"
head -c $((clen / 2)) /dev/zero | tr '\0' '\377' |
    dd of="$tmp/damaged.rom" bs=1 seek=$((0x4300 + clen / 2)) conv=notrunc 2>/dev/null
set +e
"$tool" info "$tmp/damaged.rom" > "$tmp/info" 2> "$tmp/err"; status=$?
set -e
[ $status -eq 1 ] || fail "info of a damaged rom: exit status $status"
grep -q "^status: 0 (code block damaged: [0-9]* of [0-9]* characters decoded)$" "$tmp/info" ||
    fail "info of a damaged rom: $(cat "$tmp/info")"
grep -q "^lua: [0-9]* characters$" "$tmp/info" || fail "info of a damaged rom lists no sections"
grep -q "damaged" "$tmp/err" || fail "info of a damaged rom: no message"
for cmd in hash tokens preprocess; do
    set +e
    "$tool" $cmd "$tmp/damaged.rom" > "$tmp/out" 2> "$tmp/err"; status=$?
    set -e
    [ $status -eq 1 ] || fail "$cmd of a damaged rom: exit status $status"
    [ -s "$tmp/out" ] || fail "$cmd of a damaged rom printed nothing of what loaded"
    grep -q "damaged" "$tmp/err" || fail "$cmd of a damaged rom: no message"
done
printf 'kept' > "$tmp/damaged_out.z6"
if "$tool" convert "$tmp/damaged.rom" "$tmp/damaged_out.z6" 2>/dev/null; then
    fail "a damaged rom converted"
fi
[ "$(cat "$tmp/damaged_out.z6")" = kept ] || fail "converting a damaged rom wrote OUT"
echo "z6cart formats: ok"

# The label through PNG carts: z6cart's PNG read by the player, and the
# player's PNG read by z6cart, give back every label row (32 colours). The
# player's side: a headless cart that saves itself as text and as PNG.
label() { awk '/^__label__$/ { f = 1; next } /^__/ { f = 0 } f && NF' "$1"; }
awk '/^__lua__$/ { print; print "save(\"back.z6\") save(\"back.z6.png\")"; f = 1; next }
     /^__/ { f = 0 } !f' "$carts/every_section.z6" > "$tmp/saver.z6"
label "$carts/every_section.z6" > "$tmp/label.want"
[ "$(wc -l < "$tmp/label.want")" -eq 128 ] || fail "every_section has no whole label"
"$tool" convert "$tmp/saver.z6" "$tmp/saver.z6.png" || fail "convert saver to png"
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$zibo6" -x "$tmp/saver.z6.png" -home "$tmp/home" \
    > "$tmp/saver.out" 2>&1 || { cat "$tmp/saver.out"; fail "the player did not run the PNG cart"; }
label "$tmp/home/carts/back.z6" | cmp -s - "$tmp/label.want" ||
    fail "the player read another label from z6cart's PNG cart"
"$tool" convert "$tmp/home/carts/back.z6.png" "$tmp/back_tool.z6" || fail "convert the player's png"
label "$tmp/back_tool.z6" | cmp -s - "$tmp/label.want" ||
    fail "z6cart read another label from the player's PNG cart"

# Without a data file (z6cart alone in a folder) PNG work is refused, naming
# -pod, and nothing is written; other formats still convert.
mkdir "$tmp/alone" "$tmp/alone/tools"
cp "$tool" "$tmp/alone/tools/z6cart"
if "$tmp/alone/tools/z6cart" convert "$carts/every_section.z6" "$tmp/alone/x.z6.png" 2> "$tmp/err"; then
    fail "a PNG cart was written without a data file"
fi
grep -q -- "-pod" "$tmp/err" || fail "the refusal does not name -pod: $(cat "$tmp/err")"
[ ! -e "$tmp/alone/x.z6.png" ] || fail "the refused PNG cart was written"
if "$tmp/alone/tools/z6cart" convert "$tmp/saver.z6.png" "$tmp/alone/x.z6" 2>/dev/null; then
    fail "a PNG cart was read without a data file"
fi
"$tmp/alone/tools/z6cart" convert "$carts/every_section.z6" "$tmp/alone/x.rom" ||
    fail "text to rom needs no data file"
"$tmp/alone/tools/z6cart" -pod "$(dirname "$zibo6")/data.pod" convert "$tmp/saver.z6.png" "$tmp/alone/x.z6" ||
    fail "-pod names the data file"
label "$tmp/alone/x.z6" | cmp -s - "$tmp/label.want" || fail "the label read with -pod differs"
echo "z6cart labels: ok"
