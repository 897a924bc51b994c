#!/bin/sh
# The benchmark programs cut to one round each: z6vm's cycle total must match
# the third column of cycles.txt, and the printed checksum stock Lua's; the
# player's allocation and the C library's give the same run.
#   bench_cycles.sh Z6VM_BATCH DIR [LUA]
batch=$1; dir=$2; lua=${3:-}
. "$(dirname "$0")/script_lib.sh"
count=0
names=
for prog in "$dir"/*.lua; do
    name=${prog##*/}
    name=${name%.lua}
    count=$((count + 1))
    if [ "$(grep -c '^local rounds = [0-9][0-9]*$' "$prog")" != 1 ]; then
        failed "$name: no single 'local rounds = N' line"
        continue
    fi
    sed 's/^local rounds = [0-9][0-9]*$/local rounds = 1/' "$prog" >"$tmp/$name.lua"
    add_job "$name" --stock-libs --cycles "$tmp/$name.lua"
    add_job "$name.libc" --alloc libc --stock-libs --cycles "$tmp/$name.lua"
    names="$names $name"
done
# z6vm's runs, all in one process
run_jobs "$batch"
for name in $names; do
    want=$(awk -v n="$name" '$1 == n { print $3 }' "$dir/cycles.txt")
    if ! job_is "$name" 0; then
        failed "$name: z6vm failed"
        head -3 "$jobs/$name.err"
        continue
    fi
    got=$(sed -n 's/^cycles //p' "$jobs/$name.err")
    if [ -z "$want" ] || [ "$got" != "$want" ]; then
        failed "$name: cycles $got, stored ${want:-none}"
    fi
    # the C library's allocation gives the same run
    if ! job_is "$name.libc" 0 || ! cmp -s "$jobs/$name.out" "$jobs/$name.libc.out" ||
        ! cmp -s "$jobs/$name.err" "$jobs/$name.libc.err"; then
        failed "$name: the run with --alloc libc differs"
    fi
    if [ -n "$lua" ]; then
        "$lua" "$tmp/$name.lua" >"$tmp/stock" 2>&1
        if ! cmp -s "$jobs/$name.out" "$tmp/stock"; then
            failed "$name: printed '$(cat "$jobs/$name.out")', stock Lua '$(cat "$tmp/stock")'"
        fi
    fi
done
echo "$count programs checked"
[ "$count" -gt 0 ] || fail=1
exit $fail
