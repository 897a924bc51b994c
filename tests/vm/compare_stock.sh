#!/bin/sh
# Runs each listed program under z6vm --stock-libs and under stock lua5.2
# and requires identical standard output and exit status.
#   compare_stock.sh Z6VM LUA DIR [PROGRAM...]   (default: every DIR/*.lua
#   not named in DIR/known_failures.txt)
z6vm=$1; lua=$2; dir=$3; shift 3
if [ $# -eq 0 ]; then
    set --
    for f in "$dir"/*.lua; do
        name=$(basename "$f")
        if [ -f "$dir/known_failures.txt" ] && grep -q "^$name" "$dir/known_failures.txt"; then
            continue
        fi
        set -- "$@" "$name"
    done
fi
# a program that hangs fails instead of stalling the suite
limit=""
command -v timeout >/dev/null 2>&1 && limit="timeout 60"
tmp=${TMPDIR:-/tmp}/z6cmp.$$
mkdir -p "$tmp" || exit 2
status=0
count=0
for name in "$@"; do
    count=$((count + 1))
    $limit "$z6vm" --stock-libs "$dir/$name" >"$tmp/ours" 2>"$tmp/ours.err"
    ours=$?
    $limit "$lua" "$dir/$name" >"$tmp/stock" 2>"$tmp/stock.err"
    stock=$?
    if [ "$ours" != "$stock" ]; then
        echo "FAIL $name: exit status $ours, stock Lua's $stock"
        head -3 "$tmp/ours.err"
        status=1
    elif ! cmp -s "$tmp/ours" "$tmp/stock"; then
        echo "FAIL $name"
        diff "$tmp/stock" "$tmp/ours" | head -20
        head -3 "$tmp/ours.err"
        status=1
    fi
done
rm -rf "$tmp"
echo "$count programs compared"
exit $status
