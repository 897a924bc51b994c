#!/bin/sh
# The benchmark programs cut to one round each: z6vm's cycle total must match
# the third column of cycles.txt, and the printed checksum stock Lua's.
#   bench_cycles.sh Z6VM DIR [LUA]
z6vm=$1; dir=$2; lua=$3
tmp=${TMPDIR:-/tmp}/z6benchcyc.$$
mkdir -p "$tmp" || exit 2
trap 'rm -rf "$tmp"' EXIT
status=0
count=0
for prog in "$dir"/*.lua; do
    name=$(basename "$prog" .lua)
    count=$((count + 1))
    if [ "$(grep -c '^local rounds = [0-9][0-9]*$' "$prog")" != 1 ]; then
        echo "FAIL $name: no single 'local rounds = N' line"
        status=1
        continue
    fi
    sed 's/^local rounds = [0-9][0-9]*$/local rounds = 1/' "$prog" >"$tmp/$name.lua"
    want=$(awk -v n="$name" '$1 == n { print $3 }' "$dir/cycles.txt")
    if ! "$z6vm" --stock-libs --cycles "$tmp/$name.lua" >"$tmp/out" 2>"$tmp/err"; then
        echo "FAIL $name: z6vm failed"
        head -3 "$tmp/err"
        status=1
        continue
    fi
    got=$(sed -n 's/^cycles //p' "$tmp/err")
    if [ -z "$want" ] || [ "$got" != "$want" ]; then
        echo "FAIL $name: cycles $got, stored ${want:-none}"
        status=1
    fi
    if [ -n "$lua" ]; then
        "$lua" "$tmp/$name.lua" >"$tmp/stock" 2>&1
        if ! cmp -s "$tmp/out" "$tmp/stock"; then
            echo "FAIL $name: printed '$(cat "$tmp/out")', stock Lua '$(cat "$tmp/stock")'"
            status=1
        fi
    fi
done
echo "$count programs checked"
[ "$count" -gt 0 ] || status=1
exit $status
