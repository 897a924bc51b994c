#!/bin/sh
# Runs every program of the dialect folder through z6vm in cart mode, plainly
# and under small budgets, and compares the output with its .expected file.
# A program that stops with an error has "exit <status>" and its standard
# error (without the runner's "cycles" and "yields" lines) appended.
# The cycle total must not depend on the budget (programs without their own
# coroutines, whose resumes see the forced yields); a program whose first
# line starts "-- cycles:" has its total appended to the output as well.
#   dialect_run.sh Z6VM_BATCH DIR
# The runs share one process, and the script starts as few others as it can:
# under a busy machine each costs more than a case.
batch=$1
dir=$2
. "$(dirname "$0")/script_lib.sh"

budgets="none 1 37"
progs=
for prog in "$dir"/*.lua; do
    name=${prog##*/}
    name=${name%.lua}
    if [ ! -f "$dir/$name.expected" ]; then failed "$name (no .expected file)"; continue; fi
    progs="$progs $name"
    for b in $budgets; do
        if [ "$b" = none ]; then
            add_job "$name.$b" --cycles "$prog"
        else
            add_job "$name.$b" --cycles --budget "$b" "$prog"
        fi
    done
done
run_jobs "$batch"
own_coroutines=" $(grep -l cocreate "$dir"/*.lua | tr '\n' ' ')"

# finish NAME.BUDGET: turns the job's output into the form described above
# and writes its cycle total ("cycles N") to NAME.BUDGET.cycles
finish() {
    cycles=
    extra=
    while IFS= read -r line || [ -n "$line" ]; do
        rest=${line#* }
        case $line in
        "cycles "*) rest=${rest#"${rest%%[!-]*}"} ;; # the runner's lines: -*[0-9]*
        "yields "*) ;;
        *) rest=x ;;
        esac
        case $rest in
        *[!0-9]*) extra="$extra$line$nl" ;;
        *) case $line in "cycles "*) cycles="$cycles${cycles:+$nl}$line" ;; esac ;;
        esac
    done < "$jobs/$1.err"
    job_status "$1"
    if [ "$status" != 0 ]; then printf 'exit %s\n%s' "$status" "$extra" >> "$jobs/$1.out"; fi
    if [ "$show_cycles" = 1 ]; then echo "$cycles" >> "$jobs/$1.out"; fi
    echo "$cycles" > "$jobs/$1.cycles"
}

# every output against its expected file; the differences of those that differ
for name in $progs; do
    read -r first < "$dir/$name.lua"
    case $first in "-- cycles:"*) show_cycles=1 ;; *) show_cycles=0 ;; esac
    for b in $budgets; do
        finish "$name.$b"
    done
done
set --
for name in $progs; do
    for b in $budgets; do set -- "$@" "$dir/$name.expected" "$jobs/$name.$b.out"; done
done
compare_pairs "$@"
for name in $progs; do
    read -r plain_cycles < "$jobs/$name.none.cycles"
    for b in $budgets; do
        read -r cycles < "$jobs/$name.$b.cycles"
        if ! pair_same; then
            failed "$name (budget $b)"
            diff "$dir/$name.expected" "$jobs/$name.$b.out" | head -n 20
        elif [ "$cycles" != "$plain_cycles" ]; then
            case $own_coroutines in
            *"/$name.lua "*) pass "$name (budget $b)" ;;
            *) failed "$name (budget $b): $cycles, without a budget $plain_cycles" ;;
            esac
        else
            pass "$name (budget $b)"
        fi
    done
done
exit $fail
