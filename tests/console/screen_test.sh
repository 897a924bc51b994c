#!/bin/sh
# screen_test.sh ZIBO6 SCREENCMP CART PALETTE: runs a cart headless in a fresh
# home folder, compares its printed lines with CART's .expected (when there is
# one), its exit status (cart_status.sh) and the screen it dumped with CART's .png.
set -u
zibo6=$1
screencmp=$2
cart=$3
palette=$4
dir=$(dirname "$cart")
name=$(basename "$cart" .z6)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# the time-out only catches a run that never ends
timeout 300 "$zibo6" -x "$cart" -home "$home" >"$home/out.txt" 2>&1
status=$?
if [ -f "$dir/$name.expected" ]; then
    grep -v '^scr \|^RUNNING: ' "$home/out.txt" | diff -u "$dir/$name.expected" - || exit 1
fi
. "$(dirname "$0")/cart_status.sh"
check_cart_status "$name" "$status" "$dir/$name.expected" || exit 1
"$screencmp" "$home/out.txt" "$dir/$name.png" "$palette"
