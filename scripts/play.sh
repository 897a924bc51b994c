#!/bin/sh
# play.sh CART [PLAYER OPTIONS]: plays CART in a window as a program of its
# own. In a scratch folder, the exporter (z6cart export) writes a data file
# whose head cart is CART, beside a copy of the player, which then boots it
# with your own per-user folder ($HOME/.tarnwicker/zibo-6/), so the cart's data
# persists from one play to the next. The build's data.pod is only read; the
# scratch folder is removed when the player ends. The exit status is the
# player's.
#
# ZIBO6_BUILD names the build folder (default: build-release, as `make play`
# builds it); it needs zibo6, data.pod and tools/z6cart.
set -u
usage() {
    echo "usage: scripts/play.sh CART [player options]" >&2
    exit 2
}
[ $# -ge 1 ] || usage
cart=$1
shift
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIBO6_BUILD:-$here/build-release}
for need in zibo6 data.pod tools/z6cart; do
    if [ ! -f "$build/$need" ]; then
        echo "play.sh: $build/$need is missing: build first (make build-release)" >&2
        exit 1
    fi
done
[ -f "$cart" ] || { echo "play.sh: no cart $cart" >&2; exit 1; }
cart_dir=$(cd "$(dirname "$cart")" && pwd)
cart_file=$(basename "$cart")

# The program's name (the window's title): the cart's name up to its first
# dot, in letters, digits, "-" and "_" (the exporter splits names at spaces
# and commas).
name=$(printf '%s' "${cart_file%%.*}" | tr -c 'A-Za-z0-9_-' '_')
[ -n "$name" ] || name=cart
tmp=${TMPDIR:-/tmp}
case $tmp in *[\ ,]*) tmp=/tmp ;; esac
scratch=$(mktemp -d "$tmp/zibo6-play.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP

# The exporter takes its icon from the cart's label, or else from sprite 0.
icon=""
"$build/tools/z6cart" info "$cart_dir/$cart_file" 2>/dev/null | grep -qx "label: yes" ||
    icon="-i 0"
# Run from the cart's folder, so that its #include files are found.
# shellcheck disable=SC2086
if ! (cd "$cart_dir" && "$build/tools/z6cart" -pod "$build/data.pod" export "$cart_file" \
    "$scratch/$name" $icon) >"$scratch/export.log" 2>&1; then
    cat "$scratch/export.log" >&2
    echo "play.sh: could not export $cart" >&2
    exit 1
fi
program=$scratch/$name.bin/linux/$name
# The player itself, whatever runtime the data file carries (a sanitizer build's carries none).
cp "$build/zibo6" "$program" || exit 1
"$program" "$@"
