#!/bin/bash
# The VM against stock Lua 5.2 (and LuaJIT's interpreter, luajit -joff, when
# installed) on the programs in bench/vm_vs_lua/.
#
#   bench/vm_vs_lua.sh [-n PAIRS] [-a player|libc] [Z6VM [LUA [LUAJIT]]]
#
# Z6VM defaults to build-bench/tools/z6vm (a Release build with -DZIBO6_BENCH=ON).
# It allocates as the player does for a cart (-a player, the default: weighed,
# guarded blocks, without the player's memory limits), or through the C
# library's malloc (-a libc) for comparison; the header line names the path.
# Each program runs PAIRS times (default 7) under each VM, interleaved
# (z6vm, lua, luajit, z6vm, lua, ...) so that a change in the machine's load
# hits all of them alike. Every run must print the program's checksum as
# stock Lua does, and z6vm's cycle total must match bench/vm_vs_lua/cycles.txt.
# Per program: the medians of the CPU times (user + system) and the median of
# the per-pair ratios z6vm/lua5.2, CPU and wall clock, and z6vm/luajit -joff
# (CPU); then the geometric means of the ratios. Start-up (-e '': CPU and
# wall clock, medians of 5 x PAIRS runs) has rows of its own, outside the
# means. The load average is printed before and after. Programs whose median
# time in lua5.2 is under a second are named after the table.
# VMBENCH_ONLY=NAME runs one program only.
#
# Every VM runs with the same C-library allocator settings: freed memory is
# kept for reuse and large blocks come from the heap. With the library's
# defaults, whether a program pays for handing memory back and mapping it
# afresh each round depends on where its blocks happen to fall, which would
# be measured instead of the interpreters.
export LC_ALL=C # the decimal point of $EPOCHREALTIME, awk and sort
here=$(cd "$(dirname "$0")" && pwd)
pairs=7
alloc=player
while :; do
    case $1 in
    -n) pairs=$2; shift 2 ;;
    -a) alloc=$2; shift 2 ;;
    *) break ;;
    esac
done
z6vm=${1:-$here/../build-bench/tools/z6vm}
lua=${2:-lua5.2}
luajit=${3:-luajit}
[ -x "$z6vm" ] || { echo "no z6vm at $z6vm" >&2; exit 2; }
command -v "$lua" >/dev/null 2>&1 || { echo "no $lua" >&2; exit 2; }
command -v "$luajit" >/dev/null 2>&1 || luajit=""
[ "$pairs" -ge 1 ] 2>/dev/null || { echo "bad -n $pairs" >&2; exit 2; }
heap=$("$z6vm" --alloc "$alloc" --heap-info) || { echo "bad -a $alloc, or $z6vm has no --alloc" >&2; exit 2; }
# Without bash's clock (an older bash, or another shell) every time would read
# 0 and every ratio 1: refuse instead.
case $EPOCHREALTIME in
[0-9]*.[0-9]*) ;;
*) echo "no wall clock: run this with bash 5 or later" >&2; exit 2 ;;
esac

export GLIBC_TUNABLES=glibc.malloc.trim_threshold=67108864:glibc.malloc.mmap_threshold=33554432

tmp=$(mktemp -d) || exit 2
trap 'rm -rf "$tmp"' EXIT

# run CMD...: runs it with its output in $tmp/out and standard error in
# $tmp/err; sets cpu (user + system of the child) and wall, in seconds
run() {
    local line cmd="$*"
    line=$( (t0=$EPOCHREALTIME; "$@" >"$tmp/out" 2>"$tmp/err"; rc=$?; t1=$EPOCHREALTIME
             echo "$rc $t0 $t1"; times) | awk '
        NR == 1 { rc = $1; wall = $3 - $2 }
        NR == 3 { split($1, u, /[ms]/); split($2, s, /[ms]/); cpu = u[1] * 60 + u[2] + s[1] * 60 + s[2] }
        END { printf "%s %.3f %.4f", rc, cpu, wall }')
    set -- $line
    [ "$1" = 0 ] || { echo "failed ($1): $cmd" >&2; cat "$tmp/err" >&2; return 1; }
    case $2$3 in
    *[!0-9.]* | "") echo "no CPU time or wall clock for: $cmd" >&2; return 1 ;;
    esac
    cpu=$2
    wall=$3
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else if (NR) printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# A time of 0 means the clock failed: no ratio, and the program fails.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a <= 0 || b <= 0) exit 1; printf "%.4f\n", a / b }'; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "z6vm allocation: $heap"
echo "pairs per program: $pairs; GLIBC_TUNABLES=$GLIBC_TUNABLES"
printf "%-14s %8s %8s %8s %8s %8s %8s\n" program z6vm lua5.2 luajit "cpu" "wall" "jit"
printf "%-14s %8s %8s %8s %8s %8s %8s\n" "" "cpu s" "cpu s" "cpu s" "z6/lua" "z6/lua" "z6/jit"

status=0
all=""
short=""
for prog in "$here"/vm_vs_lua/${VMBENCH_ONLY:-*}.lua; do
    name=$(basename "$prog" .lua)
    want=$(awk -v n="$name" '$1 == n { print $2 }' "$here/vm_vs_lua/cycles.txt")
    : >"$tmp/z6"; : >"$tmp/lua"; : >"$tmp/jit"; : >"$tmp/rc"; : >"$tmp/rw"; : >"$tmp/rj"
    failed=0
    for _ in $(seq "$pairs"); do
        run "$z6vm" --alloc "$alloc" --stock-libs --cycles "$prog" || { failed=1; break; }
        zc=$cpu; zw=$wall
        cp "$tmp/out" "$tmp/out.z6"
        got=$(sed -n 's/^cycles //p' "$tmp/err")
        if [ "$got" != "$want" ]; then
            echo "$name: cycles $got, stored ${want:-none}" >&2
            failed=1
            break
        fi
        run "$lua" "$prog" || { failed=1; break; }
        if ! cmp -s "$tmp/out" "$tmp/out.z6"; then
            echo "$name: checksums differ: z6vm '$(cat "$tmp/out.z6")' lua5.2 '$(cat "$tmp/out")'" >&2
            failed=1
            break
        fi
        echo "$zc" >>"$tmp/z6"; echo "$cpu" >>"$tmp/lua"
        { ratio "$zc" "$cpu" >>"$tmp/rc" && ratio "$zw" "$wall" >>"$tmp/rw"; } ||
            { echo "$name: a time of 0 (z6vm $zc s / $zw s, lua $cpu s / $wall s)" >&2; failed=1; break; }
        if [ -n "$luajit" ]; then
            run "$luajit" -joff "$prog" || { failed=1; break; }
            cmp -s "$tmp/out" "$tmp/out.z6" || { echo "$name: luajit's checksum differs" >&2; failed=1; break; }
            echo "$cpu" >>"$tmp/jit"
            ratio "$zc" "$cpu" >>"$tmp/rj" || { echo "$name: a time of 0 in luajit" >&2; failed=1; break; }
        fi
    done
    if [ "$failed" = 1 ]; then
        status=1
        continue
    fi
    rc=$(median <"$tmp/rc"); rw=$(median <"$tmp/rw")
    tl=$(median <"$tmp/lua")
    awk -v t="$tl" 'BEGIN { exit !(t < 1) }' && short="$short $name"
    if [ -n "$luajit" ]; then tj=$(median <"$tmp/jit"); rj=$(median <"$tmp/rj"); else tj=-; rj=-; fi
    printf "%-14s %8.3f %8.3f %8s %8.3f %8.3f %8s\n" "$name" "$(median <"$tmp/z6")" "$tl" \
        "$( [ "$tj" = - ] && echo - || printf %.3f "$tj")" "$rc" "$rw" "$( [ "$rj" = - ] && echo - || printf %.3f "$rj")"
    all="$all$rc $rw $rj
"
done
printf "%s" "$all" | awk '
    NF { n++; c += log($1); w += log($2); if ($3 != "-") { j += log($3); nj++ } }
    END { if (n) printf "%-14s %8s %8s %8s %8.3f %8.3f %8s\n", "geomean", "", "", "", exp(c / n), exp(w / n), nj ? sprintf("%.3f", exp(j / nj)) : "-" }'

[ -z "$short" ] || echo "under a second in $lua (too short to time fairly; raise its rounds):$short"

# start-up: an empty chunk, CPU and wall clock
: >"$tmp/startup"
for _ in $(seq $((pairs * 5))); do
    line=""
    for vm in "$z6vm --alloc $alloc --stock-libs" "$lua" ${luajit:+"$luajit -joff"}; do
        run $vm -e '' || break
        line="$line $cpu $wall"
    done
    echo "$line" >>"$tmp/startup"
done
for col in 1 2 3 4 5 6; do
    eval "s$col=\$(awk -v c=$col 'NF >= c { print \$c * 1000 }' \"\$tmp/startup\" | median)"
done
ms() { [ -n "$1" ] && printf %.1f "$1" || echo -; }
printf "%-14s %8s %8s %8s   ms CPU, median; not in the means\n" "start-up" "$(ms "$s1")" "$(ms "$s3")" "$(ms "$s5")"
printf "%-14s %8s %8s %8s   ms wall clock\n" "" "$(ms "$s2")" "$(ms "$s4")" "$(ms "$s6")"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
