#!/bin/sh
# cart_output_test.sh ZIBO6 CART: runs a cart headless in a fresh home folder
# and compares what it prints (the start line, screen dump and empty lines
# aside) with CART's .expected, and its exit status (cart_status.sh).
set -u
zibo6=$1
cart=$2
dir=$(dirname "$cart")
name=$(basename "$cart" .z6)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# the time-out only catches a run that never ends
timeout 300 "$zibo6" -x "$cart" -home "$home" >"$home/out.txt" 2>&1
status=$?
grep -v '^scr \|^RUNNING: \|^$' "$home/out.txt" | diff -u "$dir/$name.expected" - || exit 1
. "$(dirname "$0")/cart_status.sh"
check_cart_status "$name" "$status" "$dir/$name.expected"
