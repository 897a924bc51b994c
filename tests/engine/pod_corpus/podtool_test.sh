#!/bin/sh
# podtool_test.sh TOOL CORPUS corpus|round_trip
# corpus: podtool on the hostile corpus: accept_*.pod list cleanly, keep_*.pod
# list the items before the damage, say that fewer items were read than the
# header names and exit 1, every other file is refused with a message on stderr
# and a non-zero exit status. With ZIBO6_SHARD=k/n set
# only every n-th file from the k-th (in name order) is tried.
# round_trip: create, list and extract, plain, compressed and damaged.
tool="$1"
dir="$2"
part="$3"
fail=0
shard=${ZIBO6_SHARD:-0/1}
k=${shard%/*}
n=${shard#*/}
i=0
tried=0
[ "$part" = corpus ] && for f in "$dir"/*.pod; do
    i=$((i + 1))
    [ $(((i - 1) % n)) -eq "$k" ] || continue
    [ -f "$f" ] || continue
    tried=$((tried + 1))
    name=$(basename "$f")
    err=$("$tool" list "$f" 2>&1 >/dev/null)
    status=$?
    case "$name" in
    accept_*)
        if [ $status -ne 0 ]; then echo "FAIL: $name refused: $err"; fail=1; fi ;;
    keep_*)
        case "$err" in *"items, only"*" read"*) ;; *) echo "FAIL: $name: no message: '$err'"; fail=1 ;; esac
        if [ $status -ne 1 ]; then echo "FAIL: $name: status $status, not 1"; fail=1; fi
        "$tool" list "$f" 2>/dev/null | grep -q '^0 ' || { echo "FAIL: $name: item 0 not listed"; fail=1; } ;;
    *)
        if [ $status -eq 0 ] || [ $status -ge 128 ] || [ -z "$err" ]; then
            echo "FAIL: $name: status $status, message '$err'"; fail=1
        fi ;;
    esac
done
if [ "$part" = corpus ]; then
    if [ $tried -eq 0 ]; then echo "FAIL: no corpus files for shard $shard in $dir"; fail=1; fi
    exit $fail
fi
if [ "$part" != round_trip ]; then echo "usage: $0 TOOL CORPUS corpus|round_trip"; exit 2; fi
# create, list and extract round trip, plain and compressed, with a nested pod.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'hello pod\n' > "$work/a.txt"
head -c 20000 /dev/zero > "$work/zeros.bin"
"$tool" create "$work/inner.pod" --name inner "$work/a.txt" "$work/zeros.bin" || { echo "FAIL: create"; fail=1; }
"$tool" create "$work/outer.pod" --lz4 --name outer "$work/inner.pod" "$work/a.txt" || { echo "FAIL: create --lz4"; fail=1; }
out=$("$tool" list "$work/outer.pod") || { echo "FAIL: list"; fail=1; }
expected='pod "outer": 2 items
0 CFIL inner.pod 20238
  pod "inner": 2 items
  0 CFIL a.txt 10
  1 CFIL zeros.bin 20000
1 CFIL a.txt 10'
if [ "$out" != "$expected" ]; then echo "FAIL: list printed:"; echo "$out"; fail=1; fi
# a header naming more items than are read lists those read, says so and exits 1;
# one naming fewer lists them all with a warning
cp "$work/inner.pod" "$work/count.pod"
printf '\011\000\000\000' | dd of="$work/count.pod" bs=1 seek=44 conv=notrunc 2>/dev/null
err=$("$tool" list "$work/count.pod" 2>&1 >/dev/null)
status=$?
[ $status -eq 1 ] || { echo "FAIL: list with a count too high: status $status"; fail=1; }
case "$err" in *"header says 9 items, only 2 read"*) ;; *) echo "FAIL: no count message: '$err'"; fail=1 ;; esac
printf '\001\000\000\000' | dd of="$work/count.pod" bs=1 seek=44 conv=notrunc 2>/dev/null
err=$("$tool" list "$work/count.pod" 2>&1 >/dev/null) || { echo "FAIL: list with a count too low"; fail=1; }
case "$err" in *"warning: "*"header says 1 items, 2 read"*) ;; *) echo "FAIL: no count warning: '$err'"; fail=1 ;; esac
# a pod missing its last byte, or cut inside a nested pod, lists every complete
# item and exits 1
head -c $(($(wc -c < "$work/inner.pod") - 1)) "$work/inner.pod" > "$work/cut.pod"
out=$("$tool" list "$work/cut.pod" 2>/dev/null)
status=$?
[ $status -eq 1 ] || { echo "FAIL: list of a cut pod: status $status"; fail=1; }
expected='pod "inner": 1 items
0 CFIL a.txt 10'
if [ "$out" != "$expected" ]; then echo "FAIL: list of a cut pod printed:"; echo "$out"; fail=1; fi
"$tool" create "$work/holder.pod" --name holder "$work/cut.pod" || { echo "FAIL: create holder"; fail=1; }
out=$("$tool" list "$work/holder.pod" 2>/dev/null)
status=$?
[ $status -eq 1 ] || { echo "FAIL: list of a pod holding a cut pod: status $status"; fail=1; }
case "$out" in *'  0 CFIL a.txt 10') ;; *) echo "FAIL: list of a pod holding a cut pod printed:"; echo "$out"; fail=1 ;; esac
"$tool" extract "$work/outer.pod" 0 "$work/back.pod" && cmp -s "$work/back.pod" "$work/inner.pod" \
    || { echo "FAIL: extract"; fail=1; }
# any other item comes out as a pod holding just that item
"$tool" extract "$dir/accept_bone_cycle.pod" 0 "$work/model.pod" && "$tool" list "$work/model.pod" | grep -q '^0 CMOD ' \
    || { echo "FAIL: extract of a model"; fail=1; }
if "$tool" extract "$work/outer.pod" 7 "$work/none" 2>/dev/null; then echo "FAIL: extract of a missing item"; fail=1; fi
# a file made read-only is kept, whoever runs the tool (root too)
printf 'kept' >"$work/locked.pod"
chmod 444 "$work/locked.pod"
if "$tool" extract "$work/outer.pod" 0 "$work/locked.pod" 2>/dev/null; then echo "FAIL: extract over a read-only file"; fail=1; fi
[ "$(cat "$work/locked.pod")" = kept ] || { echo "FAIL: a read-only file was written"; fail=1; }
if "$tool" create "$work/bad.pod" "$work/missing.txt" 2>/dev/null; then echo "FAIL: create from a missing file"; fail=1; fi
if "$tool" create /nonexistent-folder/x.pod "$work/a.txt" 2>/dev/null; then echo "FAIL: create into a missing folder"; fail=1; fi
# a listing that cannot be written (standard output on a full disk) is no success
if [ -w /dev/full ] && "$tool" list "$work/outer.pod" > /dev/full 2>/dev/null; then
    echo "FAIL: list onto a full disk reported success"; fail=1
fi
exit $fail
