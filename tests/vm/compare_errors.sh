#!/bin/sh
# Syntax error texts of programs in stock syntax must be the stock ones.
#   compare_errors.sh Z6VM CASES
# Each line of CASES is one program (printf %b escapes); its message from
# `z6vm -p` must equal the message of the stock interpreter's load().
# Texts that name a code tab differ by design and are tested elsewhere.
set -u
Z6VM=$1
CASES=$2
LUA=${LUA:-lua5.2}
. "$(dirname "$0")/script_lib.sh"
n=0
while IFS= read -r line; do
    n=$((n + 1))
    printf '%b' "$line" > "$tmp/s.lua"
    "$LUA" -e "local f = io.open('$tmp/s.lua', 'rb') local s = f:read('*a') f:close() local _, m = load(s, s) io.write(tostring(m))" > "$tmp/want"
    "$Z6VM" -p "$tmp/s.lua" > /dev/null 2> "$tmp/err"
    status=$?
    head -n 1 "$tmp/err" | sed 's/^syntax error: //' | tr -d '\n' > "$tmp/got"
    # a syntax error ends the run with status 1
    if [ "$status" -eq 1 ] && cmp -s "$tmp/want" "$tmp/got"; then
        pass "$n: $line"
    else
        failed "$n: $line"
        echo "  stock: $(cat "$tmp/want")"
        echo "  z6vm:  $(cat "$tmp/got") (exit status $status)"
    fi
done < "$CASES"
exit $fail
