#!/bin/sh
# Runs the integer-only programs in bench/vm_vs_lua/ under z6vm --stock-libs
# and under stock lua5.2, checks that both print the same checksum, and
# prints each program's time ratio z6vm/lua5.2 and their geometric mean.
#   bench/vm_vs_lua.sh [Z6VM [LUA]]
# Z6VM defaults to build-release/tools/z6vm (use a Release build).
here=$(cd "$(dirname "$0")" && pwd)
z6vm=${1:-$here/../build-release/tools/z6vm}
lua=${2:-lua5.2}
[ -x "$z6vm" ] || { echo "no z6vm at $z6vm" >&2; exit 2; }
command -v "$lua" >/dev/null 2>&1 || { echo "no $lua" >&2; exit 2; }

now() { date +%s.%N; }

# best of three runs, in seconds; the output of the last run goes to $out
best_time() {
    best=""
    for _ in 1 2 3; do
        t0=$(now)
        "$@" >"$out" 2>&1 || { echo "failed: $*" >&2; cat "$out" >&2; exit 1; }
        t1=$(now)
        t=$(echo "$t1 $t0" | awk '{printf "%.4f", $1 - $2}')
        if [ -z "$best" ]; then best=$t; else best=$(echo "$best $t" | awk '{ print ($2 < $1) ? $2 : $1 }'); fi
    done
    echo "$best"
}

tmp=${TMPDIR:-/tmp}/z6bench.$$
mkdir -p "$tmp"
status=0
printf "%-16s %10s %10s %8s\n" program z6vm lua5.2 ratio
ratios=""
for prog in "$here"/vm_vs_lua/*.lua; do
    name=$(basename "$prog" .lua)
    out=$tmp/ours; tz=$(best_time "$z6vm" --stock-libs "$prog"); cp "$tmp/ours" "$tmp/ours.keep"
    out=$tmp/stock; tl=$(best_time "$lua" "$prog")
    if [ -z "$tz" ] || [ -z "$tl" ]; then  # a run failed (reported above)
        status=1
        continue
    fi
    if ! cmp -s "$tmp/ours.keep" "$tmp/stock"; then
        echo "$name: checksums differ: z6vm '$(cat "$tmp/ours.keep")' lua5.2 '$(cat "$tmp/stock")'" >&2
        status=1
        continue
    fi
    r=$(echo "$tz $tl" | awk '{ if ($2 <= 0) print "1.000"; else printf "%.3f", $1 / $2 }')
    ratios="$ratios $r"
    printf "%-16s %10s %10s %8s\n" "$name" "$tz" "$tl" "$r"
done
echo "$ratios" | awk '{ s = 0; for (i = 1; i <= NF; i++) s += log($i); if (NF) printf "geometric mean ratio z6vm/lua5.2: %.3f\n", exp(s / NF) }'
rm -rf "$tmp"
exit $status
