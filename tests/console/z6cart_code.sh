#!/bin/sh
# z6cart tokens and preprocess on small text carts: the console's counts, the
# rewritten code with its lines in place, and the refusal of "#include ".
set -e
tool="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cart() { printf 'zibo-6 cartridge // test\nversion 33\n__lua__\n%s\n' "$2" > "$tmp/$1.z6"; }

# local 0, function 1, f 1, ( 1, ) 0, x 1, += 1, 1 1, end 0; -- a comment 0
cart counts 'local function f()
 x += 1 -- a comment
end'
"$tool" tokens "$tmp/counts.z6" > "$tmp/out" || fail "tokens exit status"
grep -qx "tokens: 6 / 8192" "$tmp/out" || fail "token count: $(cat "$tmp/out")"
grep -qx "chars: 43 / 65536" "$tmp/out" || fail "char count: $(cat "$tmp/out")"

cart dialect 'if (a != b) ?"no"
t.n ..= "x" -- gone
while (i < 3) i += 1'
"$tool" preprocess "$tmp/dialect.z6" > "$tmp/out" || fail "preprocess exit status"
# three lines, two newlines, as in the cart
[ "$(wc -l < "$tmp/out")" -eq 2 ] || fail "line count: $(cat "$tmp/out")"
flat=$(tr -s ' ' < "$tmp/out")
echo "$flat" | sed -n 1p | grep -q '^if (a ~= b) then print("no") end' || fail "line 1: $flat"
echo "$flat" | sed -n 2p | grep -q '^t.n = t.n .. ( *"x")' || fail "line 2: $flat"
echo "$flat" | grep -q 'gone' && fail "comment kept: $flat"
echo "$flat" | sed -n 3p | grep -q '^while (i < 3 *) do i = i + ( *1 *) end' || fail "line 3: $flat"

cart include 'x = 1
#include other.z6'
if "$tool" preprocess "$tmp/include.z6" > /dev/null 2> "$tmp/err"; then fail "include accepted"; fi
grep -qx "can not #include" "$tmp/err" || fail "include message"
"$tool" tokens "$tmp/include.z6" > "$tmp/out" || fail "tokens of the include cart: exit status"
grep -qx "tokens: 3 / 8192" "$tmp/out" || fail "include line counted"

if "$tool" tokens "$tmp/missing.z6" 2>/dev/null; then fail "missing cart counted"; fi
if "$tool" tokens 2>/dev/null; then fail "no file accepted"; fi
exit 0
