#!/bin/sh
# Cycle counts of straight-line programs follow from their listings: every
# instruction up to the first RETURN runs once, and costs 1 (MOVE, LOADK,
# ADD, SUB, UNM) or 2. The stock compiler's listing gives the instructions.
# Then the same programs run under a budget of 10 cycles a slice must yield
# several times and add up to the same total.
# usage: cycles_listing.sh Z6VM_BATCH LUAC WORKDIR
set -u
batch=$1
luac=$2
work=$3
. "$(dirname "$0")/script_lib.sh"
command -v "$luac" >/dev/null 2>&1 || { echo "no $luac: skipped"; exit 77; }
mkdir -p "$work"
n=0
for prog in \
    'local a = 1 local b = a + 2 local c = {} c.x = b * 3 return c.x' \
    'local a, b, c = 1, 2, 3 a = b b = c c = -a return a - b + c' \
    'local t = {1, 2, 3, x = 4} t[2] = t[1] .. "y" return #t, t.x' \
    'local function f(a) return a end local x = f(1) local y = f(x) * 2 return y / 3 % 2' \
    'x = 5 y = x * 2 z = not y return z, y' \
    'local a = 1 a = a + 1 a = a - 2 a = a * 3 local b = a a = b + a b = -a a = a .. b b = a .. a a = #b return a, b'; do
    n=$((n + 1))
    src="$work/prog$n.lua"
    printf '%s\n' "$prog" > "$src"
    # expected: sum over the main function's instructions up to its first RETURN
    expect=$("$luac" -l -p "$src" | awk '
        /^main / { inmain = 1; next }
        /^(function|main) / { inmain = 0 }
        inmain && $2 ~ /^\[[0-9]+\]$/ && !done {
            op = $3
            c = (op == "MOVE" || op == "LOADK" || op == "ADD" || op == "SUB" || op == "UNM") ? 1 : 2
            sum += c
            if (op == "RETURN") done = 1
        }
        END { print sum }')
    # calls into f add the callee: count its instructions per call site
    if [ "$n" -eq 4 ]; then
        per=$("$luac" -l -p "$src" | awk '
            /^function / { infn = 1; next }
            infn && $2 ~ /^\[[0-9]+\]$/ && !done {
                op = $3
                sum += (op == "MOVE" || op == "LOADK" || op == "ADD" || op == "SUB" || op == "UNM") ? 1 : 2
                if (op == "RETURN") done = 1
            }
            END { print sum }')
        expect=$((expect + 2 * per))
    fi
    echo "$expect" > "$work/prog$n.expect"
    add_job "plain$n" --cycles "$src"
    add_job "sliced$n" --cycles --budget 10 "$src"
done
# the runs, all in one process
run_jobs "$batch"
count=$n
n=0
while [ "$n" -lt "$count" ]; do
    n=$((n + 1))
    read -r prog < "$work/prog$n.lua"
    read -r expect < "$work/prog$n.expect"
    got=$(sed -n 's/^cycles //p' "$jobs/plain$n.err")
    if [ "$got" != "$expect" ]; then
        echo "FAIL: '$prog': cycles $got, listing says $expect"
        fail=1
    fi
    sliced=$(sed -n 's/^cycles //p' "$jobs/sliced$n.err")
    yields=$(sed -n 's/^yields //p' "$jobs/sliced$n.err")
    # a program of more than two budgets must have been split
    min_yields=0
    [ "$expect" -gt 20 ] && min_yields=1
    if [ "$sliced" != "$expect" ] || [ "${yields:-0}" -lt "$min_yields" ]; then
        echo "FAIL: '$prog' under --budget 10: cycles $sliced in $yields yields, want $expect"
        fail=1
    fi
done
[ $fail -eq 0 ] && echo "ok: $n programs"
exit $fail
