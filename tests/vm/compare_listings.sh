#!/bin/sh
# Compares the VM runner's listings with the stock compiler's.
#   compare_listings.sh Z6VM LISTINGS_DIR
# Stock-syntax programs (LISTINGS_DIR/*.lua): `z6vm -l -l` must match
# `luac5.2 -l -l -p` once addresses and source names are masked. A NAME.sed
# beside a program states the expected difference: it is applied to the
# stock listing first. Programs in the console's syntax (LISTINGS_DIR/z6/)
# cannot go through the stock compiler; their listings are compared with
# the checked NAME.expected files (ZIBO6_UPDATE_EXPECTED=1 rewrites them).
set -u
Z6VM=$1
DIR=$2
LUAC=${LUAC:-luac5.2}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

normalize() {
    sed -e 's/0x[0-9a-fA-F]*/ADDR/g' -e 's/^\(main\|function\) <[^>]*:\([0-9-]*,[0-9-]*\)>/\1 <SRC:\2>/'
}

if ! command -v "$LUAC" >/dev/null 2>&1; then
    echo "compare_listings: $LUAC not found" >&2
    exit 1
fi

for f in "$DIR"/*.lua; do
    name=$(basename "$f" .lua)
    "$LUAC" -l -l -p "$f" > "$tmp/stock.raw" 2>&1 || { echo "FAIL $name: stock compiler refused it"; fail=1; continue; }
    if [ -f "$DIR/$name.sed" ]; then
        sed -f "$DIR/$name.sed" "$tmp/stock.raw" | normalize > "$tmp/want"
    else
        normalize < "$tmp/stock.raw" > "$tmp/want"
    fi
    "$Z6VM" -l -l "$f" > "$tmp/got.raw" 2>&1 || { echo "FAIL $name: z6vm refused it"; cat "$tmp/got.raw"; fail=1; continue; }
    normalize < "$tmp/got.raw" > "$tmp/got"
    if diff -u "$tmp/want" "$tmp/got" > "$tmp/diff"; then
        echo "ok   $name"
    else
        echo "FAIL $name"; cat "$tmp/diff"; fail=1
    fi
done

for f in "$DIR"/z6/*.lua; do
    name=$(basename "$f" .lua)
    exp="$DIR/z6/$name.expected"
    "$Z6VM" -l -l "$f" > "$tmp/got.raw" 2>&1 || { echo "FAIL z6/$name: z6vm refused it"; cat "$tmp/got.raw"; fail=1; continue; }
    normalize < "$tmp/got.raw" > "$tmp/got"
    if [ "${ZIBO6_UPDATE_EXPECTED:-0}" = 1 ]; then
        cp "$tmp/got" "$exp"
        echo "updated z6/$name"
    elif diff -u "$exp" "$tmp/got" > "$tmp/diff"; then
        echo "ok   z6/$name"
    else
        echo "FAIL z6/$name"; cat "$tmp/diff"; fail=1
    fi
done
exit $fail
