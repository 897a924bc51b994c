#!/bin/sh
# End-to-end checks of the VM runner: running, error reports, compile-only,
# binary chunks written, read back, cut short and with broken headers.
#   z6vm_cli.sh Z6VM
set -u
Z6VM=$1
. "$(dirname "$0")/script_lib.sh"

# expect NAME STATUS STDOUT STDERR -- ARGS...: exact status and outputs
expect() {
    name=$1 want_status=$2 want_out=$3 want_err=$4
    shift 5
    "$Z6VM" "$@" > "$tmp/out" 2> "$tmp/err" < "${STDIN:-/dev/null}"
    status=$?
    printf '%s' "$want_out" > "$tmp/want_out"
    printf '%s' "$want_err" > "$tmp/want_err"
    if [ "$status" -eq "$want_status" ] && cmp -s "$tmp/out" "$tmp/want_out" && cmp -s "$tmp/err" "$tmp/want_err"; then
        pass "$name"
    else
        failed "$name (status $status, wanted $want_status)"
        echo "--- stdout:"; cat "$tmp/out"; echo "--- wanted:"; cat "$tmp/want_out"
        echo "--- stderr:"; cat "$tmp/err"; echo "--- wanted:"; cat "$tmp/want_err"
    fi
}

nl='
'
expect run-e 0 "1	x	true	nil$nl" "" -- -e 'print(1, "x", true, nil)'
printf 'print(2 + 3)\n' > "$tmp/five.lua"
expect run-file 0 "5$nl" "" -- "$tmp/five.lua"
STDIN="$tmp/five.lua" expect run-stdin 0 "5$nl" "" -- -
expect parse-only 0 "" "" -- -p -e 'print(1)'

# syntax errors: the message, then the line, exit status 1
expect syntax-number 1 "" "syntax error: [string \"x=1..2\"]:1: malformed number near '1..2'${nl}line 1$nl" -- -e 'x=1..2'
expect syntax-compound 1 "" "syntax error: [string \"y=0...\"]:2: syntax error near '+'${nl}line 2$nl" -- -e "y=0${nl}a += 1"
expect syntax-escape 1 "" "syntax error: [string \"x=\"\\q\"\"]:1: invalid escape sequence near '\\q'${nl}line 1$nl" -- -e 'x="\q"'

# line numbers above 32767 print as plain integers
awk 'BEGIN { for (i = 0; i < 40000; i++) print ""; print "x = = 1" }' > "$tmp/long.lua"
"$Z6VM" "$tmp/long.lua" > /dev/null 2> "$tmp/err"
status=$?
[ "$status" -eq 1 ] && grep -q ':40001: unexpected symbol near' "$tmp/err" && grep -qx 'line 40001' "$tmp/err"
check syntax-line-40001 $?

# runtime errors: "runtime error: " and the runtime line
"$Z6VM" -e "local t = nil${nl}${nl}print(t.x)" > /dev/null 2> "$tmp/err"
status=$?
[ "$status" -eq 1 ] && head -n 1 "$tmp/err" | grep -q '^runtime error: ' && grep -qx 'line 3' "$tmp/err"
check runtime-error $?

# binary chunks: written, read back, same output
cat > "$tmp/prog.lua" <<'LUA'
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local t = {}
for i = 1, 10 do t[#t + 1] = fib(i) end
print(t[10], 7 \ 2, 1 << 4, "s\x41")
LUA
"$Z6VM" -o "$tmp/prog.bin" "$tmp/prog.lua"
check dump-written $?
"$Z6VM" "$tmp/prog.lua" > "$tmp/text.out" 2>&1 && "$Z6VM" "$tmp/prog.bin" > "$tmp/bin.out" 2>&1 &&
    cmp -s "$tmp/text.out" "$tmp/bin.out"
check dump-runs-same $?

# the header: signature, 5.2, format 0, little-endian, int, size_t, instruction, number, integral, tail
head -c 18 "$tmp/prog.bin" | od -An -tx1 | tr -d ' \n' > "$tmp/header"
sizet=$(printf '%02x' "$(getconf LONG_BIT | awk '{ print $1 / 8 }')")
[ "$(cat "$tmp/header")" = "1b4c756152000104${sizet}04040119930d0a1a0a" ]
check dump-header $?

# cut anywhere after the first byte: "truncated", status 1, never a crash
size=$(wc -c < "$tmp/prog.bin")
bad=0
n=1
while [ "$n" -lt "$size" ]; do
    head -c "$n" "$tmp/prog.bin" > "$tmp/cut.bin"
    "$Z6VM" "$tmp/cut.bin" > /dev/null 2> "$tmp/err"
    status=$?
    if [ "$status" -ne 1 ] || ! grep -q 'truncated precompiled chunk' "$tmp/err"; then
        echo "cut at $n: status $status: $(head -n 1 "$tmp/err")"
        bad=1
    fi
    # every cut inside the header and the first records, then a sample (the
    # unit tests cut at every byte)
    if [ "$n" -lt 64 ]; then n=$((n + 1)); else n=$((n + 7)); fi
done
check dump-truncated $bad

# broken headers, one field at a time
patch_byte() { # offset, hex byte -> $tmp/patched.bin
    cp "$tmp/prog.bin" "$tmp/patched.bin"
    printf "\\$(printf '%03o' "0x$2")" | dd of="$tmp/patched.bin" bs=1 seek="$1" conv=notrunc 2> /dev/null
}
for spec in "1:58:not a" "4:51:version mismatch in" "5:01:incompatible" "8:02:incompatible" "10:08:incompatible" "12:00:corrupted" "17:00:corrupted"; do
    off=${spec%%:*}; rest=${spec#*:}; byte=${rest%%:*}; why=${rest#*:}
    patch_byte "$off" "$byte"
    "$Z6VM" "$tmp/patched.bin" > /dev/null 2> "$tmp/err"
    status=$?
    [ "$status" -eq 1 ] && head -n 1 "$tmp/err" | grep -q "$why precompiled chunk"
    check "header-byte-$off" $?
done

# the listing of a hand-made chunk whose LOADK names a constant it lacks
# (the main function's first instruction, at offset 33) shows "?"
cp "$tmp/prog.bin" "$tmp/patched.bin"
printf '\001\000\372\000' | dd of="$tmp/patched.bin" bs=1 seek=33 conv=notrunc 2> /dev/null
"$Z6VM" -l "$tmp/patched.bin" > "$tmp/out" 2>&1
status=$?
[ "$status" -eq 0 ] && grep -q 'LOADK.*0 -1001	; ?$' "$tmp/out"
check listing-bad-constant $?

# options
"$Z6VM" --cycles -e 'local x = 1' > /dev/null 2> "$tmp/err" && grep -q '^cycles [0-9][0-9]*$' "$tmp/err"
check cycles-printed $?
"$Z6VM" --budget 10 -e 'for i = 1, 100 do end' > /dev/null 2> "$tmp/err" && grep -q '^yields [1-9][0-9]*$' "$tmp/err"
check budget-yields $?
"$Z6VM" --bogus > /dev/null 2>&1
[ $? -eq 2 ]
check bad-option $?

exit $fail
