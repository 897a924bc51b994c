#!/bin/sh
# Runs each listed program under z6vm --stock-libs and under stock lua5.2
# and requires identical standard output and exit status.
#   compare_stock.sh Z6VM_BATCH LUA DIR [PROGRAM...]   (default: every
#   DIR/*.lua not named in DIR/known_failures.txt)
batch=$1; lua=$2; dir=$3; shift 3
. "$(dirname "$0")/script_lib.sh"
if [ $# -eq 0 ]; then
    known=
    [ -f "$dir/known_failures.txt" ] && known=$(cat "$dir/known_failures.txt")
    for f in "$dir"/*.lua; do
        name=${f##*/}
        case "$nl$known" in *"$nl$name"*) continue ;; esac
        set -- "$@" "$name"
    done
fi
names="$*"

# z6vm: every program in one batch; the stock interpreter: one run each (a
# program that hangs there fails at the test's time-out)
n=0
for name in $names; do
    n=$((n + 1))
    add_job "$n" --stock-libs "$dir/$name"
done
run_jobs "$batch"
set --
n=0
for name in $names; do
    n=$((n + 1))
    "$lua" "$dir/$name" >"$jobs/$n.stock" 2>"$jobs/$n.stock.err"
    echo $? >"$jobs/$n.stock.status"
    set -- "$@" "$jobs/$n.stock" "$jobs/$n.out"
done

compare_pairs "$@"
n=0
for name in $names; do
    n=$((n + 1))
    same=true
    pair_same || same=false
    job_status "$n"
    stock_status=
    read -r stock_status <"$jobs/$n.stock.status"
    if [ "$status" != "$stock_status" ]; then
        failed "$name: exit status $status, stock Lua's $stock_status"
        head -3 "$jobs/$n.err"
    elif ! $same; then
        failed "$name"
        diff "$jobs/$n.stock" "$jobs/$n.out" | head -20
        head -3 "$jobs/$n.err"
    fi
done
echo "$n programs compared"
exit $fail
