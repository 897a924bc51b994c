#!/bin/sh
# Runs every program of the dialect folder through z6vm in cart mode, plainly
# and under small budgets, and compares the output with its .expected file.
# A program that stops with an error has "exit <status>" and its standard
# error (without the runner's "cycles" and "yields" lines) appended.
# The cycle total must not depend on the budget (programs without their own
# coroutines, whose resumes see the forced yields); a program whose first
# line starts "-- cycles:" has its total appended to the output as well.
#   dialect_run.sh Z6VM_BATCH DIR
batch=$1
dir=$2
. "$(dirname "$0")/script_lib.sh"

budgets="none 1 37"
progs=
for prog in "$dir"/*.lua; do
    name=$(basename "$prog" .lua)
    if [ ! -f "$dir/$name.expected" ]; then failed "$name (no .expected file)"; continue; fi
    progs="$progs $name"
done

# every program under every budget, in one batch
for name in $progs; do
    for b in $budgets; do
        if [ "$b" = none ]; then
            add_job "$name.$b" --cycles "$dir/$name.lua"
        else
            add_job "$name.$b" --cycles --budget "$b" "$dir/$name.lua"
        fi
    done
done
run_jobs "$batch"

# result NAME.BUDGET: the job's output in the form described above, in
# $tmp/out; its cycle total in $cycles
result() {
    cp "$jobs/$1.out" "$tmp/out"
    job_status "$1"
    if [ "$status" != 0 ]; then
        echo "exit $status" >>"$tmp/out"
        grep -v -e '^yields [0-9]*$' -e '^cycles -*[0-9]*$' "$jobs/$1.err" >>"$tmp/out"
    fi
    cycles=$(grep '^cycles -*[0-9]*$' "$jobs/$1.err")
}

for name in $progs; do
    prog=$dir/$name.lua
    expected=$dir/$name.expected
    read -r first < "$prog"
    case $first in "-- cycles:"*) show_cycles=1 ;; *) show_cycles=0 ;; esac
    own_coroutines=0
    grep -q cocreate "$prog" && own_coroutines=1
    plain_cycles=
    for b in $budgets; do
        result "$name.$b"
        if [ "$b" = none ]; then plain_cycles=$cycles; fi
        if [ "$show_cycles" = 1 ]; then echo "$cycles" >>"$tmp/out"; fi
        if ! cmp -s "$tmp/out" "$expected"; then
            failed "$name (budget $b)"
            diff "$expected" "$tmp/out" | head -n 20
        elif [ "$cycles" != "$plain_cycles" ] && [ "$own_coroutines" = 0 ]; then
            failed "$name (budget $b): $cycles, without a budget $plain_cycles"
        else
            pass "$name (budget $b)"
        fi
    done
done
exit $fail
