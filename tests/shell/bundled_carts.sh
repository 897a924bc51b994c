#!/bin/sh
# The head cart, the embedded games and the demos install_demos() writes: token
# and character counts under the limits, then a headless run of each with scripted buttons for both players
# that checks stat(1) every frame and that the launcher loads with a breadcrumb.
# Usage: bundled_carts.sh path/to/zibo6 path/to/z6cart path/to/assets/carts
set -u
PLAYER=$1
Z6CART=$2
CARTS=$3
WORK=$(mktemp -d "${TMPDIR:-/tmp}/bundled_carts.XXXXXX") || exit 1
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
FAILS=0
FRAMES=300 # the games; the demos play 60 (headless runs keep real time)

fail() {
    echo "FAIL: $*"
    FAILS=$((FAILS + 1))
}

# The harness goes at the end of the cart's code: it replaces the buttons with
# a fixed pattern for players 0 and 1, records load() calls instead of making
# them, and wraps _draw to check the CPU used by each frame and that the cart
# keeps its frame rate (a cart that overruns has its rate halved, and stat(1)
# then measures against the lower rate's larger budget).
harness() {
    printf '%s' '
local _d,_f,_worst=_draw,0,0
function btn(b,p) p=p or 0 return (flr(_f/(9+b*3+p*5))+b+p)%3==0 end
function btnp(b,p) p=p or 0 return btn(b,p) and (_f+b+p)%7==0 end
function load(f,b) printh("load "..f.." breadcrumb "..tostr(b)) return true end
function _draw()
 _d()
 local s=stat(1)
 if s>_worst then _worst=s end
 if s>=1 then printh("frame ".._f.." over budget "..s) end
 if stat(7)<stat(8) then printh("frame ".._f.." at "..stat(7).." of "..stat(8).." fps") end
 _f+=1
 if _f=='"$1"' then printh("frames done, worst "..(_worst<1 and "under 1" or _worst)) stop() end
end'
}

# The players run side by side (each keeps real time and mostly waits), each
# with a home of its own; their results are read once all have ended.
CARTLIST="head orchard comets demos/shapes demos/chimes demos/buttons"
for cart in $CARTLIST; do
    name=$(basename "$cart")
    src=$CARTS/$cart.z6
    frames=$FRAMES
    case $cart in demos/*) frames=60 ;; esac
    "$Z6CART" tokens "$src" >"$WORK/$name.count" 2>&1 || fail "$name: z6cart tokens failed"
    awk -v n="$name" '
        /^(tokens|chars):/ { split($2, a, " "); if ($2 + 0 > $4 + 0) { print "FAIL: " n ": " $0; bad = 1 } seen++ }
        END { if (seen != 2) { print "FAIL: " n ": no counts"; bad = 1 } exit bad }' \
        "$WORK/$name.count" || FAILS=$((FAILS + 1))

    # The harness after the last line of the cart's code.
    awk -v h="$(harness "$frames")" '
        /^__[a-z_]+__$/ && lua && !done { print h; done = 1 }
        /^__lua__$/ { lua = 1 }
        { print }
        END { if (!done) print h }' "$src" >"$WORK/$name.z6"
    timeout 300 "$PLAYER" -x "$WORK/$name.z6" -home "$WORK/home_$name" >"$WORK/$name.out" 2>&1 &
    eval "pid_$name=\$!"
done

for cart in $CARTLIST; do
    name=$(basename "$cart")
    frames=$FRAMES
    case $cart in demos/*) frames=60 ;; esac
    eval "wait \$pid_$name"
    rc=$?
    [ "$rc" = 0 ] || fail "$name: exit status $rc"
    grep -qx "frames done, worst under 1" "$WORK/$name.out" || {
        fail "$name: did not play $frames frames inside the CPU budget"
        tail -5 "$WORK/$name.out"
    }
    if grep -q "^frame .* fps$" "$WORK/$name.out"; then
        fail "$name: fell below its frame rate"
        grep -m 3 "^frame .* fps$" "$WORK/$name.out"
    fi
done

grep -q "^orchard: running$" "$WORK/orchard.out" || fail "orchard: no start line"
grep -q "^comets: running$" "$WORK/comets.out" || fail "comets: no start line"
grep -Eq "^load (orchard|comets)\.z6 breadcrumb back to launcher$" "$WORK/head.out" ||
    fail "head: the launcher never loaded a cart with its breadcrumb"

# Every cart the launcher lists is one that data.pod embeds.
for listed in $(grep -o '"[a-z]*\.z6"' "$CARTS/head.z6" | tr -d '"'); do
    [ -f "$CARTS/$listed" ] || fail "head lists $listed, which is not under assets/carts"
done

[ "$FAILS" = 0 ] && echo "bundled carts: all checks passed"
[ "$FAILS" = 0 ]
