#!/bin/sh
# Seeds for the cart_any entry: every cart under tests/ and assets/ in every form
# the loaders read, written by z6cart (the player's own savers). A seed's first
# byte picks the name the rest is loaded under (the order of CART_ANY_NAMES in
# cart_inputs.cpp): 0 .z6, 1 .z6.png, 3 .rom, 4 .bin, 5 .hex, 6 .lua.
#   tools/fuzz/cart_any_seeds.sh build/tools/z6cart build/data.pod . tests/cart/fuzz_corpus/cart_any
set -e
tool="$1"
pod="$2"
root="$3"
out="$4"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# seed SELECTOR FILE NAME: the seed NAME, FILE behind its selector byte.
seed() {
    printf "\\$(printf '%03o' "$1")" > "$out/$3"
    cat "$2" >> "$out/$3"
}

hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }

find "$root/tests" "$root/assets" -name '*.z6' ! -path '*/fuzz_corpus/*' ! -path '*/tests/vm/*' |
    sort | while read -r cart; do
        name=carts_$(basename "$cart" .z6)
        seed 0 "$cart" "$name.z6"
        if "$tool" -pod "$pod" convert "$cart" "$tmp/c.z6.png" 2> /dev/null; then
            seed 1 "$tmp/c.z6.png" "$name.z6.png"
        fi
        if "$tool" -pod "$pod" convert "$cart" "$tmp/c.rom" 2> /dev/null; then
            seed 3 "$tmp/c.rom" "$name.rom"
            head -c 17152 "$tmp/c.rom" > "$tmp/c.bin"
            seed 4 "$tmp/c.bin" "$name.bin"
            hex "$tmp/c.bin" > "$tmp/c.hex"
            seed 5 "$tmp/c.hex" "$name.hex"
        fi
        # The code section alone, as a plain code file holds it.
        awk '/^__lua__$/ { on = 1; next } /^__[a-z0-9]+__$/ { on = 0 } on' "$cart" > "$tmp/c.lua"
        seed 6 "$tmp/c.lua" "$name.lua"
    done

# The save command's clipboard form: a PNG cart as the forum's cart code.
for cart in "$root"/assets/carts/*.z6; do
    name=carts_$(basename "$cart" .z6)
    "$tool" -pod "$pod" convert "$cart" "$tmp/c.z6.png"
    { printf '[cart]'; hex "$tmp/c.z6.png"; printf '[/cart]'; } > "$tmp/c.hex"
    seed 5 "$tmp/c.hex" "$name.z6.png.hex"
done
