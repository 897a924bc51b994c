#!/bin/sh
# engine_tool: render the demo page, read its size back with png-info, and
# check that png-info fails with a message on files that are not usable PNGs.
set -u
tool="$1"
dir="${HOME:-/tmp}/engine_tool_pictures"
mkdir -p "$dir" || exit 1
fail() { echo "FAIL: $*" >&2; exit 1; }

"$tool" render "$dir/demo.png" 1 || fail "render"
size=$("$tool" png-info "$dir/demo.png") || fail "png-info on the rendered page"
[ "$size" = "288x200" ] || fail "png-info printed '$size'"
"$tool" render "$dir/demo3.png" 3 "Sample" || fail "render at scale 3"
[ "$("$tool" png-info "$dir/demo3.png")" = "864x600" ] || fail "scaled size"

printf 'not a png' > "$dir/bad.png"
if "$tool" png-info "$dir/bad.png" 2>"$dir/err.txt"; then fail "png-info accepted a text file"; fi
[ -s "$dir/err.txt" ] || fail "png-info failed without a message"
if "$tool" png-info "$dir/missing.png" 2>/dev/null; then fail "png-info accepted a missing file"; fi
head -c 40 "$dir/demo.png" > "$dir/cut.png"
if "$tool" png-info "$dir/cut.png" 2>/dev/null; then fail "png-info accepted a truncated file"; fi
if "$tool" no-such-command 2>/dev/null; then fail "unknown command accepted"; fi
echo "ok"
