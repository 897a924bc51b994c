#!/bin/sh
# cstore_progress.sh ZIBO6 CART: runs the counting cart five times with one home
# folder. Each run reads back what the run before stored with cstore(): the runs
# print 0 to 4, and cstore/ holds the one sandbox file they all share.
set -u
zibo6=$1
cart=$2
home=$(mktemp -d)
log=$(mktemp)
trap 'rm -rf "$home" "$log"' EXIT
for run in 0 1 2 3 4; do
    timeout 300 "$zibo6" -x "$cart" -home "$home" >"$log" 2>&1
    status=$?
    out=$(grep -v '^RUNNING: ' "$log")
    [ "$status" = 0 ] || { echo "run $run: exit status $status: $out"; exit 1; }
    [ "$out" = "$run" ] || { echo "run $run printed: $out"; exit 1; }
done
n=$(ls "$home/cstore" | grep -c '^__.*\.z6$')
[ "$n" = 1 ] || { echo "cstore/ holds $n sandbox files:"; ls "$home/cstore"; exit 1; }
