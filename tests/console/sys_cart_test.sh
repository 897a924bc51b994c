#!/bin/sh
# sys_cart_test.sh ZIBO6 CART: runs a cart headless in a fresh home folder with
# a fake xdg-open first on PATH, compares its printed lines with CART's
# .expected (when there is one), then runs CART's .after checks (sh, with $home set) when present.
# The run must end with status 0, or the one in CART's .status; its time limit is
# generous, for a busy machine.
set -u
zibo6=$1
cart=$2
dir=$(dirname "$cart")
name=$(basename "$cart" .z6)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir "$home/bin"
printf '#!/bin/sh\nprintf "%%s|%%s\\n" "$#" "$1" >> "%s/opened.txt"\n' "$home" >"$home/bin/xdg-open"
chmod +x "$home/bin/xdg-open"
PATH="$home/bin:$PATH" timeout 600 "$zibo6" -x "$cart" -home "$home" >"$home/out.txt" 2>&1
status=$?
want=0
[ -f "$dir/$name.status" ] && want=$(cat "$dir/$name.status")
if [ "$status" -ne "$want" ]; then
    echo "$name: the player ended with status $status, not $want"
    tail -20 "$home/out.txt"
    exit 1
fi
if [ -f "$dir/$name.expected" ]; then
    grep -v '^RUNNING: ' "$home/out.txt" | diff -u "$dir/$name.expected" - || exit 1
fi
if [ -f "$dir/$name.after" ]; then
    . "$dir/$name.after"
fi
