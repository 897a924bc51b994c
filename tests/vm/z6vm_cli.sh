#!/bin/sh
# End-to-end checks of the VM runner: running, error reports, compile-only,
# binary chunks written, read back, cut short and with broken headers. The
# cases run in one process (z6vm_batch); the program's own exit statuses are
# checked once through the z6vm binary itself.
#   z6vm_cli.sh Z6VM Z6VM_BATCH     (LUA: the stock interpreter, lua5.2)
set -u
Z6VM=$1
batch=$2
LUA=${LUA:-lua5.2}
. "$(dirname "$0")/script_lib.sh"

# expect NAME STATUS STDOUT STDERR [--stdin FILE] ARGS...: job NAME must give
# exactly this status and these outputs (checked by check_expected)
expected=
expect() {
    name=$1
    printf '%s' "$2" > "$tmp/$1.want_status"
    printf '%s' "$3" > "$tmp/$1.want_out"
    printf '%s' "$4" > "$tmp/$1.want_err"
    shift 4
    add_job "$name" "$@"
    expected="$expected $name"
}
check_expected() {
    set --
    for name in $expected; do
        set -- "$@" "$tmp/$name.want_out" "$jobs/$name.out" "$tmp/$name.want_err" "$jobs/$name.err"
    done
    compare_pairs "$@"
    for name in $expected; do
        job_status "$name"
        read -r want_status < "$tmp/$name.want_status"
        same_out=0 same_err=0
        pair_same && same_out=1
        pair_same && same_err=1
        if [ "$status" = "$want_status" ] && [ "$same_out$same_err" = 11 ]; then
            pass "$name"
        else
            failed "$name (status $status, wanted $want_status)"
            echo "--- stdout:"; cat "$jobs/$name.out"; echo "--- wanted:"; cat "$tmp/$name.want_out"
            echo "--- stderr:"; cat "$jobs/$name.err"; echo "--- wanted:"; cat "$tmp/$name.want_err"
        fi
    done
    expected=
}

# the z6vm program itself, whose main returns the runner's status: a run and
# a syntax error, statuses 0 and 1 with their outputs
"$Z6VM" -e 'print(2 + 3)' > "$tmp/out" 2>&1
status=$?
printf '5\n' | cmp -s - "$tmp/out"
check program-runs $(( $? + status ))
"$Z6VM" -e 'x = = 1' > /dev/null 2> "$tmp/err"
[ $? -eq 1 ] && grep -qx 'line 1' "$tmp/err"
check program-syntax-error $?

expect run-e 0 "1	x	true	nil$nl" "" -e 'print(1, "x", true, nil)'
printf 'print(2 + 3)\n' > "$tmp/five.lua"
expect run-file 0 "5$nl" "" "$tmp/five.lua"
expect run-stdin 0 "5$nl" "" --stdin "$tmp/five.lua" -
expect parse-only 0 "" "" -p -e 'print(1)'

# syntax errors: the message, then the line, exit status 1
expect syntax-number 1 "" "syntax error: [string \"x=1..2\"]:1: malformed number near '1..2'${nl}line 1$nl" -e 'x=1..2'
expect syntax-compound 1 "" "syntax error: [string \"y=0...\"]:2: syntax error near '+'${nl}line 2$nl" -e "y=0${nl}a += 1"
expect syntax-escape 1 "" "syntax error: [string \"x=\"\\q\"\"]:1: invalid escape sequence near '\\q'${nl}line 1$nl" -e 'x="\q"'

# line numbers above 32767 print as plain integers
awk 'BEGIN { for (i = 0; i < 40000; i++) print ""; print "x = = 1" }' > "$tmp/long.lua"
add_job syntax-line-40001 "$tmp/long.lua"

# runtime errors: "runtime error: " and the runtime line
add_job runtime-error -e "local t = nil${nl}${nl}print(t.x)"

# binary chunks: written, then read back (below)
cat > "$tmp/prog.lua" <<'LUA'
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local t = {}
for i = 1, 10 do t[#t + 1] = fib(i) end
print(t[10], 7 \ 2, 1 << 4, "s\x41")
LUA
add_job dump-written -o "$tmp/prog.bin" "$tmp/prog.lua"
# a file made read-only is not written over, whoever runs the tool (root too)
printf 'kept' > "$tmp/locked.bin"
chmod 444 "$tmp/locked.bin"
expect dump-read-only 1 "" "z6vm: cannot open $tmp/locked.bin: Permission denied$nl" \
    -o "$tmp/locked.bin" "$tmp/prog.lua"
add_job prog-text "$tmp/prog.lua"

# options
add_job cycles-printed --cycles -e 'local x = 1'
add_job budget-yields --budget 10 -e 'for i = 1, 100 do end'
# a coroutine resumed by a sort comparator yields its own value whatever the budget
cat > "$tmp/sort_wrap.lua" <<'LUA'
local function w(a,b) for i=1,2000 do end coroutine.yield(a<b) end
local t={20,7,8,9,10,6,4,5,3,2,11,1,12,13,14,15,16,17,18,19}
table.sort(t,function(a,b) return coroutine.wrap(w)(a,b) end)
print(table.concat(t,","))
LUA
sort_budgets="none 1 7 37 500"
for b in $sort_budgets; do
    case $b in
    none) add_job sort-wrap-$b --stock-libs "$tmp/sort_wrap.lua" ;;
    *) add_job sort-wrap-$b --stock-libs --budget "$b" "$tmp/sort_wrap.lua" ;;
    esac
done
add_job bad-option --bogus

run_jobs "$batch"
check_expected
job_is syntax-line-40001 1 && grep -q ':40001: unexpected symbol near' "$jobs/syntax-line-40001.err" &&
    grep -qx 'line 40001' "$jobs/syntax-line-40001.err"
check syntax-line-40001 $?
job_is runtime-error 1 && head -n 1 "$jobs/runtime-error.err" | grep -q '^runtime error: ' &&
    grep -qx 'line 3' "$jobs/runtime-error.err"
check runtime-error $?
job_is dump-written 0 && [ -s "$tmp/prog.bin" ]
check dump-written $?
[ "$(cat "$tmp/locked.bin")" = kept ]
check dump-read-only-kept $?
job_is cycles-printed 0 && grep -q '^cycles [0-9][0-9]*$' "$jobs/cycles-printed.err"
check cycles-printed $?
job_is budget-yields 0 && grep -q '^yields [1-9][0-9]*$' "$jobs/budget-yields.err"
check budget-yields $?
job_is bad-option 2
check bad-option $?
for b in $sort_budgets; do
    job_is sort-wrap-$b 0 &&
        [ "$(cat "$jobs/sort-wrap-$b.out")" = "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20" ]
    check sort-wrap-$b $?
done

# the header: signature, 5.2, format 0, little-endian, int, size_t, instruction, number, integral, tail
head -c 18 "$tmp/prog.bin" | od -An -tx1 | tr -d ' \n' > "$tmp/header"
sizet=$(printf '%02x' "$(getconf LONG_BIT | awk '{ print $1 / 8 }')")
[ "$(cat "$tmp/header")" = "1b4c756152000104${sizet}04040119930d0a1a0a" ]
check dump-header $?

# the chunk read back runs as the text did
add_job prog-binary "$tmp/prog.bin"

# The damaged chunks below are made from it by the stock interpreter, in
# one run: "cut:N" writes cut.N.bin, its first N bytes; "patch:NAME:OFFSET:HEX"
# writes NAME.bin, the chunk with the bytes HEX at OFFSET.
cat > "$tmp/damage.lua" <<'LUA'
local dir = arg[1]
local f = io.open(dir .. "/prog.bin", "rb") local chunk = f:read("*a") f:close()
local function put(name, bytes) local out = io.open(dir .. "/" .. name .. ".bin", "wb") out:write(bytes) out:close() end
for i = 2, #arg do
    local n = arg[i]:match("^cut:(%d+)$")
    local name, off, hex = arg[i]:match("^patch:([%w.]+):(%d+):(%x+)$")
    if n then
        put("cut." .. n, chunk:sub(1, tonumber(n)))
    elseif name then
        local bytes = hex:gsub("%x%x", function(h) return string.char(tonumber(h, 16)) end)
        off = tonumber(off)
        put(name, chunk:sub(1, off) .. bytes .. chunk:sub(off + #bytes + 1))
    else
        error("bad request " .. arg[i])
    end
end
LUA
damage=

# cut anywhere after the first byte: "truncated", status 1, never a crash;
# every cut inside the header and the first records, then a sample (the
# unit tests cut at every byte), every cut under make test-long
size=$(wc -c < "$tmp/prog.bin")
cuts=
n=1
while [ "$n" -lt "$size" ]; do
    add_job "cut.$n" "$tmp/cut.$n.bin"
    cuts="$cuts $n"
    damage="$damage cut:$n"
    if [ "$n" -lt 64 ] || [ "${ZIBO6_LONG_TESTS:-0}" != 0 ]; then n=$((n + 1)); else n=$((n + 7)); fi
done

# broken headers, one field at a time
cat > "$tmp/headers" <<'SPECS'
1:58:not a
4:51:version mismatch in
5:01:incompatible
8:02:incompatible
10:08:incompatible
12:00:corrupted
17:00:corrupted
SPECS
while IFS= read -r spec; do
    off=${spec%%:*}; rest=${spec#*:}; byte=${rest%%:*}
    damage="$damage patch:header.$off:$off:$byte"
    add_job "header-byte-$off" "$tmp/header.$off.bin"
done < "$tmp/headers"

# the listing of a hand-made chunk whose LOADK names a constant it lacks
# (the main function's first instruction, at offset 33) shows "?"
damage="$damage patch:badk:33:0100fa00"
add_job listing-bad-constant -l "$tmp/badk.bin"

"$LUA" "$tmp/damage.lua" "$tmp" $damage || failed "the stock interpreter's damaged chunks"
run_jobs "$batch"

job_is prog-binary 0 && job_is prog-text 0 &&
    cat "$jobs/prog-text.out" "$jobs/prog-text.err" > "$tmp/text.out" &&
    cat "$jobs/prog-binary.out" "$jobs/prog-binary.err" > "$tmp/bin.out" && cmp -s "$tmp/text.out" "$tmp/bin.out"
check dump-runs-same $?

bad=0
for n in $cuts; do
    job_is "cut.$n" 1 || { echo "cut at $n: status $status: $(head -n 1 "$jobs/cut.$n.err")"; bad=1; }
done
(cd "$jobs" && grep -L 'truncated precompiled chunk' cut.*.err) > "$tmp/untruncated"
[ -s "$tmp/untruncated" ] && { echo "without \"truncated precompiled chunk\":"; cat "$tmp/untruncated"; bad=1; }
check dump-truncated $bad

while IFS= read -r spec; do
    off=${spec%%:*}; rest=${spec#*:}; why=${rest#*:}
    job_is "header-byte-$off" 1 && head -n 1 "$jobs/header-byte-$off.err" | grep -q "$why precompiled chunk"
    check "header-byte-$off" $?
done < "$tmp/headers"

job_is listing-bad-constant 0 && grep -q 'LOADK.*0 -1001	; ?$' "$jobs/listing-bad-constant.out"
check listing-bad-constant $?

exit $fail
