#!/bin/sh
# engine_tool to-utf8 / from-utf8 from a shell: every console byte survives
# the round trip, nothing is added to the output, zero bytes pass through.
set -e
tool="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# All bytes 1-255 but carriage return (dropped on the way back by design).
i=1
: > "$tmp/all"
while [ $i -le 255 ]; do
    [ $i -ne 13 ] && printf "\\$(printf %03o $i)" >> "$tmp/all"
    i=$((i + 1))
done
"$tool" to-utf8 < "$tmp/all" > "$tmp/all.u8"
"$tool" from-utf8 < "$tmp/all.u8" > "$tmp/back"
cmp "$tmp/all" "$tmp/back" || fail "round trip of bytes 1-255"

# convert COMMAND BYTES: the tool's output for BYTES (printf escapes) in $tmp/c;
# the tool must end with status 0.
convert() {
    printf "$2" > "$tmp/in"
    "$tool" "$1" < "$tmp/in" > "$tmp/c" || fail "$1 of '$2': exit status $?"
}

# No newline is added.
convert to-utf8 'abc'
[ "$(wc -c < "$tmp/c")" -eq 3 ] || fail "to-utf8 added bytes"
convert from-utf8 'abc'
[ "$(wc -c < "$tmp/c")" -eq 3 ] || fail "from-utf8 added bytes"
convert to-utf8 ''
[ "$(wc -c < "$tmp/c")" -eq 0 ] || fail "empty input"

# The widest glyph is seven bytes; the italic small a is a capital A.
convert to-utf8 '\216'
[ "$(od -An -tx1 < "$tmp/c" | tr -d ' \n')" = "f09f85beefb88f" ] || fail "byte 142"
convert from-utf8 '\360\235\230\242b'
[ "$(cat "$tmp/c")" = "Ab" ] || fail "italic a"

# Zero bytes and broken UTF-8 come through unchanged.
printf 'a\000b\343' > "$tmp/z"
"$tool" from-utf8 < "$tmp/z" > "$tmp/z.out"
cmp "$tmp/z" "$tmp/z.out" || fail "zero byte or truncated sequence"
echo ok
