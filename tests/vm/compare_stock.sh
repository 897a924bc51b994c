#!/bin/sh
# Runs each listed program under z6vm --stock-libs and under stock lua5.2
# and requires identical standard output.
#   compare_stock.sh Z6VM_BATCH LUA DIR [PROGRAM...]   (default: every
#   DIR/*.lua not named in DIR/known_failures.txt)
batch=$1; lua=$2; dir=$3; shift 3
. "$(dirname "$0")/script_lib.sh"
if [ $# -eq 0 ]; then
    for f in "$dir"/*.lua; do
        name=$(basename "$f")
        if [ -f "$dir/known_failures.txt" ] && grep -q "^$name" "$dir/known_failures.txt"; then
            continue
        fi
        set -- "$@" "$name"
    done
fi
names="$*"

# z6vm: every program in one batch
n=0
for name in $names; do
    n=$((n + 1))
    add_job "$n" --stock-libs "$dir/$name"
done
run_jobs "$batch"

# a program that hangs fails instead of stalling the suite
limit=""
command -v timeout >/dev/null 2>&1 && limit="timeout 60"
n=0
for name in $names; do
    n=$((n + 1))
    $limit "$lua" "$dir/$name" >"$tmp/stock" 2>"$tmp/stock.err"
    if ! cmp -s "$jobs/$n.out" "$tmp/stock"; then
        failed "$name"
        diff "$tmp/stock" "$jobs/$n.out" | head -20
        head -3 "$jobs/$n.err"
    fi
done
echo "$n programs compared"
exit $fail
