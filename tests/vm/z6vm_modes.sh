#!/bin/sh
# z6vm's two library sets: cart mode has the console's names and nothing of
# the stock tables; --stock-libs has the stock tables and none of the
# console's names.
# The runs share one process (z6vm_batch).
#   z6vm_modes.sh Z6VM_BATCH
batch=$1
. "$(dirname "$0")/script_lib.sh"
n=0
check() {  # check EXPECTED ARGS...: the run's output, stdout then stderr
    n=$((n + 1))
    printf '%s' "$1" > "$tmp/want.$n"
    shift
    printf '%s' "$*" > "$tmp/args.$n"
    add_job "$n" "$@"
}
# cart mode registers exactly the console's names and the hosts' print, type, pairs and ipairs
names="__ipairs__ __pairs__ __select __tostring__ __trace __type add assert cocreate coresume costatus count del deli getmetatable ipairs next pack pairs print rawequal rawget rawlen rawset select setmetatable sub tostring trace type unpack yield"
add_job globals -e 'for k in pairs(_ENV) do print(k) end'
check "function function function function function function function function" -e \
    'print(type(add) .. " " .. type(del) .. " " .. type(deli) .. " " .. type(count) .. " " .. type(sub) .. " " .. type(unpack) .. " " .. type(pack) .. " " .. type(trace))'
check "function function function function function function nil nil nil" -e \
    'local s = "" for _, v in ipairs({cocreate, coresume, costatus, yield, __trace, __type}) do s = s .. type(v) .. " " end print(s .. type(string) .. " " .. type(table) .. " " .. type(require))'
check "6 2 ell true" -e 'local t = {1, 2} add(t, 3) add(t, 4, 1) print((count(t) + #t - 2) .. " " .. (deli(t, 1) - 2) .. " " .. sub("hello", 2, 4) .. " " .. tostring(select("#") == 0))'
check "false / corolib: cannot resume dead coroutine / dead" -e \
    'local co = cocreate(function() yield() end) coresume(co) coresume(co) local ok, m = coresume(co) print(tostring(ok) .. " / " .. m .. " / " .. costatus(co))'
check "table table table table table table table table table nil" --stock-libs -e \
    'local t = {} for _, v in ipairs({string, table, math, bit32, coroutine, os, debug, package, _G}) do t[#t + 1] = type(v) end t[#t + 1] = type(add) print(table.concat(t, " "))'
check "Lua 5.2 function nil" --stock-libs -e 'print(_VERSION .. " " .. type(require) .. " " .. tostring(io))'
run_jobs "$batch"
got=$(cat "$jobs/globals.out" "$jobs/globals.err" | sort | tr '\n' ' ')
if [ "$got" != "$names " ]; then
    echo "FAIL: cart-mode globals"; echo "  expected: $names"; echo "  got:      $got"; fail=1
fi
i=0
while [ "$i" -lt "$n" ]; do
    i=$((i + 1))
    got=$(cat "$jobs/$i.out" "$jobs/$i.err")
    expected=$(cat "$tmp/want.$i")
    if [ "$got" != "$expected" ]; then
        echo "FAIL: z6vm $(cat "$tmp/args.$i")"; echo "  expected: $expected"; echo "  got:      $got"; fail=1
    fi
done
exit $fail
