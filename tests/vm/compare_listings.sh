#!/bin/sh
# Compares the VM runner's listings with the stock compiler's.
#   compare_listings.sh Z6VM_BATCH LISTINGS_DIR [generated]
# Stock-syntax programs (LISTINGS_DIR/*.lua): `z6vm -l -l` must match
# `luac5.2 -l -l -p` once addresses and source names are masked. A NAME.sed
# beside a program states the expected difference: it is applied to the
# stock listing first. Programs in the console's syntax (LISTINGS_DIR/z6/)
# cannot go through the stock compiler; their listings are compared with
# the checked NAME.expected files (ZIBO6_UPDATE_EXPECTED=1 rewrites them).
# With "generated", the one generated program below instead, a test of its
# own: its listings are half a million lines.
set -u
batch=$1
DIR=$2
only=${3:-}
LUAC=${LUAC:-luac5.2}
. "$(dirname "$0")/script_lib.sh"

# the masks of addresses and source names, on the files named, in place
normalize() {
    sed -i -e 's/0x[0-9a-fA-F]*/ADDR/g' -e 's/^\(main\|function\) <[^>]*:\([0-9-]*,[0-9-]*\)>/\1 <SRC:\2>/' "$@"
}

if ! command -v "$LUAC" >/dev/null 2>&1; then
    echo "compare_listings: $LUAC not found" >&2
    exit 1
fi

# Generated: a constructor of 262200 strings, so constants past 262143 load
# with LOADKX and SETLIST blocks past 511 take an EXTRAARG. Expected
# difference: for a SETLIST with C 0 the listing shows the whole EXTRAARG
# word, whose opcode is 52 here and 39 in the stock numbering.
extraarg_renumbered() { awk '$3 == "SETLIST" && $6 == 0 { n = $NF; sub(/[0-9]+$/, n + 13) } { print }'; }

# z6vm's listings of every program, in one batch
stock= z6= generated=
if [ "$only" = generated ]; then
    awk 'BEGIN { printf "local t = {"; for (i = 0; i < 262200; i++) printf "\"s%d\",", i; print "...}" }' > "$tmp/big.lua"
    generated=generated_loadkx_setlist
    add_job "$generated" -l -l "$tmp/big.lua"
else
    for f in "$DIR"/*.lua; do
        name=${f##*/}
        name=${name%.lua}
        add_job "$name" -l -l "$f"
        stock="$stock $name"
    done
    for f in "$DIR"/z6/*.lua; do
        name=${f##*/}
        name=${name%.lua}
        add_job "z6.$name" -l -l "$f"
        z6="$z6 $name"
    done
fi
run_jobs "$batch"

# the stock compiler's, each with its NAME.sed applied (the expected
# difference), in NAME.want
for name in $stock; do
    if ! "$LUAC" -l -l -p "$DIR/$name.lua" > "$jobs/$name.want" 2>&1; then
        failed "$name: stock compiler refused it"; cat "$jobs/$name.want"
    elif [ -f "$DIR/$name.sed" ]; then
        sed -i -f "$DIR/$name.sed" "$jobs/$name.want"
    fi
done
if [ -n "$generated" ]; then
    "$LUAC" -l -l -p "$tmp/big.lua" > "$tmp/big.raw" 2>&1 || failed "$generated: stock compiler refused it"
    extraarg_renumbered < "$tmp/big.raw" > "$jobs/$generated.want"
fi
normalize "$jobs"/*.want "$jobs"/*.out

# listing NAME: whether job NAME ran and wrote its listing alone, nothing on
# its standard error
listing() {
    job_is "$1" 0 && [ ! -s "$jobs/$1.err" ] && return 0
    failed "$1: z6vm ended with status $status or wrote errors"; cat "$jobs/$1.out" "$jobs/$1.err"; return 1
}

set --
for name in $stock $generated; do set -- "$@" "$jobs/$name.want" "$jobs/$name.out"; done
for name in $z6; do set -- "$@" "$DIR/z6/$name.expected" "$jobs/z6.$name.out"; done
compare_pairs "$@"
for name in $stock $generated; do
    if ! pair_same; then
        listing "$name" && { failed "$name"; diff -u "$jobs/$name.want" "$jobs/$name.out"; }
    elif listing "$name"; then
        pass "$name"
    fi
done
for name in $z6; do
    exp="$DIR/z6/$name.expected"
    if ! listing "z6.$name"; then
        pair_same
    elif [ "${ZIBO6_UPDATE_EXPECTED:-0}" = 1 ]; then
        pair_same
        cp "$jobs/z6.$name.out" "$exp"
        echo "updated z6/$name"
    elif pair_same; then
        pass "z6/$name"
    else
        failed "z6/$name"; diff -u "$exp" "$jobs/z6.$name.out"
    fi
done
exit $fail
