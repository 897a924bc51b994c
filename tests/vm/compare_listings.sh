#!/bin/sh
# Compares the VM runner's listings with the stock compiler's.
#   compare_listings.sh Z6VM_BATCH LISTINGS_DIR
# Stock-syntax programs (LISTINGS_DIR/*.lua): `z6vm -l -l` must match
# `luac5.2 -l -l -p` once addresses and source names are masked. A NAME.sed
# beside a program states the expected difference: it is applied to the
# stock listing first. Programs in the console's syntax (LISTINGS_DIR/z6/)
# cannot go through the stock compiler; their listings are compared with
# the checked NAME.expected files (ZIBO6_UPDATE_EXPECTED=1 rewrites them).
set -u
batch=$1
DIR=$2
LUAC=${LUAC:-luac5.2}
. "$(dirname "$0")/script_lib.sh"

normalize() {
    sed -e 's/0x[0-9a-fA-F]*/ADDR/g' -e 's/^\(main\|function\) <[^>]*:\([0-9-]*,[0-9-]*\)>/\1 <SRC:\2>/'
}

# compare_stock NAME FILE FIXUP: FIXUP is a filter that turns the stock
# listing into the one expected of z6vm, whose listing is job NAME's
compare_stock() {
    name=$1 f=$2 fixup=$3
    "$LUAC" -l -l -p "$f" > "$tmp/stock.raw" 2>&1 || { failed "$name: stock compiler refused it"; return; }
    $fixup < "$tmp/stock.raw" | normalize > "$tmp/want"
    z6vm_listing "$name" || return
    if diff -u "$tmp/want" "$tmp/got" > "$tmp/diff"; then pass "$name"; else failed "$name"; cat "$tmp/diff"; fi
}

# z6vm_listing NAME: job NAME's listing (and anything on its standard error),
# normalized, in $tmp/got
z6vm_listing() {
    if ! job_is "$1" 0; then
        failed "$1: z6vm refused it"; cat "$jobs/$1.out" "$jobs/$1.err"; return 1
    fi
    cat "$jobs/$1.out" "$jobs/$1.err" | normalize > "$tmp/got"
}

as_is() { cat; }
with_sed() { sed -f "$sedfile"; }

if ! command -v "$LUAC" >/dev/null 2>&1; then
    echo "compare_listings: $LUAC not found" >&2
    exit 1
fi

# Generated: a constructor of 262200 strings, so constants past 262143 load
# with LOADKX and SETLIST blocks past 511 take an EXTRAARG. Expected
# difference: for a SETLIST with C 0 the listing shows the whole EXTRAARG
# word, whose opcode is 52 here and 39 in the stock numbering.
extraarg_renumbered() { awk '$3 == "SETLIST" && $6 == 0 { n = $NF; sub(/[0-9]+$/, n + 13) } { print }'; }
awk 'BEGIN { printf "local t = {"; for (i = 0; i < 262200; i++) printf "\"s%d\",", i; print "...}" }' > "$tmp/big.lua"

# z6vm's listings of every program, in one batch (jobs named as the tests)
for f in "$DIR"/*.lua "$DIR"/z6/*.lua; do
    name=$(basename "$f" .lua)
    case $f in "$DIR"/z6/*) name=z6.$name ;; esac
    add_job "$name" -l -l "$f"
done
add_job generated_loadkx_setlist -l -l "$tmp/big.lua"
run_jobs "$batch"

for f in "$DIR"/*.lua; do
    name=$(basename "$f" .lua)
    sedfile="$DIR/$name.sed"
    if [ -f "$sedfile" ]; then compare_stock "$name" "$f" with_sed; else compare_stock "$name" "$f" as_is; fi
done
compare_stock generated_loadkx_setlist "$tmp/big.lua" extraarg_renumbered

for f in "$DIR"/z6/*.lua; do
    name=$(basename "$f" .lua)
    exp="$DIR/z6/$name.expected"
    z6vm_listing "z6.$name" || continue
    if [ "${ZIBO6_UPDATE_EXPECTED:-0}" = 1 ]; then
        cp "$tmp/got" "$exp"
        echo "updated z6/$name"
    elif diff -u "$exp" "$tmp/got" > "$tmp/diff"; then
        pass "z6/$name"
    else
        failed "z6/$name"; cat "$tmp/diff"
    fi
done
exit $fail
