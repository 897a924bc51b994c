#!/bin/sh
# Runs every program of the dialect folder through z6vm in cart mode, plainly
# and under small budgets, and compares the output with its .expected file.
# A program that stops with an error has "exit <status>" and its standard
# error (without the runner's "cycles" and "yields" lines) appended.
# The cycle total must not depend on the budget (programs without their own
# coroutines, whose resumes see the forced yields); a program whose first
# line starts "-- cycles:" has its total appended to the output as well.
z6vm=$1
dir=$2
. "$(dirname "$0")/script_lib.sh"

run() {  # run OUT ARGS...: the program's output in the form described above
    out=$1; shift
    timeout 60 "$z6vm" --cycles "$@" >"$out" 2>"$tmp/err"
    status=$?
    if [ "$status" -ne 0 ]; then
        echo "exit $status" >>"$out"
        grep -v -e '^yields [0-9]*$' -e '^cycles -*[0-9]*$' "$tmp/err" >>"$out"
    fi
    cycles=$(grep '^cycles -*[0-9]*$' "$tmp/err")
}

for prog in "$dir"/*.lua; do
    name=$(basename "$prog" .lua)
    expected="$dir/$name.expected"
    if [ ! -f "$expected" ]; then failed "$name (no .expected file)"; continue; fi
    budgets="none 1 37"
    plain_cycles=
    for b in $budgets; do
        if [ "$b" = none ]; then run "$tmp/out" "$prog"; plain_cycles=$cycles; else run "$tmp/out" --budget "$b" "$prog"; fi
        if head -n 1 "$prog" | grep -q '^-- cycles:'; then echo "$cycles" >>"$tmp/out"; fi
        if ! cmp -s "$tmp/out" "$expected"; then
            failed "$name (budget $b)"
            diff "$expected" "$tmp/out" | head -n 20
        elif [ "$cycles" != "$plain_cycles" ] && ! grep -q cocreate "$prog"; then
            failed "$name (budget $b): $cycles, without a budget $plain_cycles"
        else
            pass "$name (budget $b)"
        fi
    done
done
exit $fail
