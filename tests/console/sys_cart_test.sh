#!/bin/sh
# sys_cart_test.sh ZIBO6 CART: runs a cart headless in a fresh home folder with
# a fake xdg-open first on PATH, compares its printed lines with CART's
# .expected (when there is one) and its exit status (cart_status.sh), then runs
# CART's .after checks (sh, with $home set) when present.
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
PATH="$home/bin:$PATH" timeout 300 "$zibo6" -x "$cart" -home "$home" >"$home/out.txt" 2>&1
status=$?
if [ -f "$dir/$name.expected" ]; then
    grep -v '^RUNNING: ' "$home/out.txt" | diff -u "$dir/$name.expected" - || exit 1
fi
. "$(dirname "$0")/cart_status.sh"
check_cart_status "$name" "$status" "$dir/$name.expected" || exit 1
if [ -f "$dir/$name.after" ]; then
    . "$dir/$name.after"
fi
