#!/bin/sh
# Syntax error texts of programs in stock syntax must be the stock ones.
#   compare_errors.sh Z6VM_BATCH CASES
# Each line of CASES is one program (printf %b escapes); its message from
# `z6vm -p` must equal the message of the stock interpreter's load().
# Texts that name a code tab differ by design and are tested elsewhere.
set -u
batch=$1
CASES=$2
LUA=${LUA:-lua5.2}
. "$(dirname "$0")/script_lib.sh"

# every case in a file of its own, compiled by z6vm in one batch and by the
# stock interpreter in one run (its message in case.N.want)
n=0
while IFS= read -r line; do
    n=$((n + 1))
    printf '%b' "$line" > "$tmp/case.$n.lua"
    add_job "$n" -p "$tmp/case.$n.lua"
done < "$CASES"
run_jobs "$batch"
cat > "$tmp/stock.lua" <<'LUA'
for n = 1, tonumber(arg[2]) do
    local base = arg[1] .. "/case." .. n
    local f = io.open(base .. ".lua", "rb") local s = f:read("*a") f:close()
    local _, m = load(s, s)
    local out = io.open(base .. ".want", "wb") out:write(tostring(m)) out:close()
end
LUA
"$LUA" "$tmp/stock.lua" "$tmp" "$n" || failed "the stock interpreter's run"

n=0
while IFS= read -r line; do
    n=$((n + 1))
    want=
    IFS= read -r want < "$tmp/case.$n.want"
    got=
    IFS= read -r got < "$jobs/$n.err"
    got=${got#syntax error: }
    # a syntax error ends the run with status 1
    if job_is "$n" 1 && [ "$got" = "$want" ]; then
        pass "$n: $line"
    else
        failed "$n: $line"
        echo "  stock: $want"
        echo "  z6vm:  $got (exit status $status)"
    fi
done < "$CASES"
exit $fail
