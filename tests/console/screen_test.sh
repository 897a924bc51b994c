#!/bin/sh
# screen_test.sh ZIBO6 SCREENCMP CART PALETTE: runs a cart headless in a fresh
# home folder, compares its printed lines with CART's .expected (when there is
# one) and the screen it dumped with CART's .png.
set -u
zibo6=$1
screencmp=$2
cart=$3
palette=$4
dir=$(dirname "$cart")
name=$(basename "$cart" .z6)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
"$zibo6" -x "$cart" -home "$home" >"$home/out.txt" 2>&1
if [ -f "$dir/$name.expected" ]; then
    grep -v '^scr \|^RUNNING: ' "$home/out.txt" | diff -u "$dir/$name.expected" - || exit 1
fi
"$screencmp" "$home/out.txt" "$dir/$name.png" "$palette"
