#!/bin/sh
# z6vm's two library sets: cart mode has the console's names and nothing of
# the stock tables; --stock-libs has the stock tables and none of the
# console's names.
z6vm=$1
fail=0
check() {  # check EXPECTED ARGS...
    expected=$1; shift
    got=$("$z6vm" "$@" 2>&1)
    if [ "$got" != "$expected" ]; then
        echo "FAIL: z6vm $*"; echo "  expected: $expected"; echo "  got:      $got"; fail=1
    fi
}
# cart mode registers exactly the console's names and the hosts' print, type, pairs and ipairs
names="__ipairs__ __pairs__ __select __tostring__ __trace __type add assert cocreate coresume costatus count del deli getmetatable ipairs next pack pairs print rawequal rawget rawlen rawset select setmetatable sub tostring trace type unpack yield"
got=$("$z6vm" -e 'for k in pairs(_ENV) do print(k) end' 2>&1 | sort | tr '\n' ' ')
if [ "$got" != "$names " ]; then
    echo "FAIL: cart-mode globals"; echo "  expected: $names"; echo "  got:      $got"; fail=1
fi
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
exit $fail
