#!/bin/sh
# Runs the Release player and prints one table: host CPU seconds per emulated
# second of carts that spend their whole CPU budget every frame, at 30 and 60
# fps (600 frames each, host frame-rate control off; the median of 5 runs),
# the CPU time of starting the player on a one-line cart against lua5.2
# starting with nothing to do (the median of 11 runs in pairs), the wall time
# from process start to the end of the first frame, and the mixer's render
# time per second of audio. Each row ends with the 1-minute load average when
# it was measured: on a busy machine the figures are upper bounds. Also the CPU
# time of one frame of a cart storing a different byte into a cart file with
# every call (PNG and text targets).
#   bench/player/run.sh [ZIBO6 [AUDIO_BENCH]]
# Defaults: build-release/zibo6 and build-release/bench/audio_bench
# (configure with -DZIBO6_BENCH=ON for the latter); the music row with the
# mixer running also needs tools/mkdatapod of the player's build. Needs
# python3 and lua5.2 (both installed by scripts/deps.sh).
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
player=${1:-$root/build-release/zibo6}
audio_bench=${2:-$root/build-release/bench/audio_bench}
frames=600
[ -x "$player" ] || { echo "no player at $player" >&2; exit 2; }
for tool in python3 lua5.2; do
    command -v $tool >/dev/null || { echo "run.sh needs $tool (scripts/deps.sh installs it)" >&2; exit 2; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/z6player.XXXXXX")
trap 'rm -rf "$tmp"' EXIT INT TERM
# A private home, so the user's config.txt is neither read nor rewritten.
mkdir -p "$tmp/home"
printf 'host_framerate_control 0\n' >"$tmp/home/config.txt"

load() { cut -d' ' -f1 /proc/loadavg; }
cpu_time() { python3 "$here/cpu_time.py" "$@" 2>"$tmp/cpu_time.err" || echo failed; }

echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); load average $(cut -d' ' -f1-3 /proc/loadavg)"

# The 60 fps variant of a cart: the same cart with _update60.
variant() { # cart fps -> path
    out=$tmp/$(basename "$1" .z6)_$2.z6
    if [ "$2" = 60 ]; then sed 's/^function _update()/function _update60()/' "$1" >"$out"; else cp "$1" "$out"; fi
    echo "$out"
}

# Median CPU seconds of 5 runs, or "failed".
cpu_of() { # command...
    set -- $(cpu_time 5 -- "$@")
    [ "$1" = failed ] && { echo failed; return; }
    echo "$1" | awk '{ printf "%.4f", $1 / 1000 }'
}

per_emulated_second() { # cpu fps
    case $1 in failed) echo "$1"; return ;; esac
    echo "$1 $2" | awk -v f=$frames '{ printf "%.4f", $1 / (f / $2) }'
}

printf "%-46s %10s %10s %6s\n" "host CPU s per emulated s (median of 5)" "30 fps" "60 fps" "load"
for cart in vm draw music; do
    row=""
    for fps in 30 60; do
        c=$(cpu_of "$player" -home "$tmp/home" -x "$(variant "$here/$cart.z6" $fps)")
        row="$row $(per_emulated_second "$c" $fps)"
    done
    label="$cart.z6 (-x)"
    [ $cart = music ] && label="music.z6 (-x: no sound device, mixer idle)"
    printf "%-46s %10s %10s %6s\n" "$label" $row "$(load)"
done
# With a sound device the player runs the mixer, which needs a run without
# -x; a cart named without -x is only loaded, so the music cart goes in as the
# head cart of a data file built for the benchmark, beside a copy of the
# player (the data file is found next to the program).  The boot sequence's
# own cost is measured with a head cart that quits in its first frame and
# taken off.
first_cart() { # path: a cart that quits in its first _draw
    printf '%s\n%s\n%s\n%s\n' "zibo-6 cartridge // first frame" "version 33" "__lua__" \
        'function _draw() cls(1) extcmd("shutdown") end' >"$1"
}
mkdatapod=$(dirname "$player")/tools/mkdatapod
# Median CPU seconds of the player booting the given head cart, under the dummy drivers.
cpu_with_head() { # cart
    rm -rf "$tmp/pod"
    mkdir -p "$tmp/pod/bin"
    cp -r "$root/assets" "$tmp/pod/assets"
    cp "$1" "$tmp/pod/assets/carts/head.z6"
    "$mkdatapod" "$tmp/pod/assets" "$tmp/pod/bin/data.pod" >/dev/null 2>&1 || { echo failed; return; }
    cp "$player" "$tmp/pod/bin/zibo6"
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy cpu_of "$tmp/pod/bin/zibo6" -home "$tmp/home"
}
row=""
if [ -x "$mkdatapod" ]; then
    first_cart "$tmp/boot_only.z6"
    boot=$(cpu_with_head "$tmp/boot_only.z6")
    for fps in 30 60; do
        c=$(cpu_with_head "$(variant "$here/music.z6" $fps)")
        case $boot$c in *failed*) row="$row failed"; continue ;; esac
        row="$row $(per_emulated_second "$(echo "$c $boot" | awk '{ printf "%.4f", $1 - $2 }')" $fps)"
    done
else
    row="no-mkdatapod no-mkdatapod"
fi
printf "%-46s %10s %10s %6s\n" "music.z6 (head cart, dummy video+audio)" $row "$(load)"

# Start-up: the whole process of zibo6 -x on a one-line cart, paired with
# lua5.2 starting on an empty chunk in the same rounds.
printf '%s\n%s\n%s\n%s\n' "zibo-6 cartridge // one line" "version 33" "__lua__" 'printh("ok")' \
    >"$tmp/one_line.z6"
set -- $(cpu_time 11 -- "$player" -home "$tmp/home" -x "$tmp/one_line.z6" -- lua5.2 -e '')
if [ "$1" = failed ]; then
    printf "%-46s %10s\n" "start-up: zibo6 -x one-line cart, CPU ms" failed
else
    printf "%-46s %10s %10s %6s\n" "start-up: zibo6 -x one-line cart, CPU ms" "$1" "" "$(load)"
    printf "%-46s %10s %10s\n" "  lua5.2 -e '' in the same rounds, CPU ms" "$3" "ratio $4"
fi

# Start to the end of the first frame: a cart that quits in its first _draw.
first_cart "$tmp/first.z6"
set -- $(cpu_time 11 -- "$player" -home "$tmp/home" -x "$tmp/first.z6")
printf "%-46s %10s %10s %6s\n" "-x start to first frame end, wall ms (median)" "$2" "" "$(load)"

# A frame of a cart storing a different byte into a cart file on every call until its CPU
# budget is spent (about 1,450 one-byte cstores), less the first-frame cart above: a PNG cart
# target and a text one, each the comets cart. CPU time, not wall: the player holds the
# frames after a file access, and the file writes are to the page cache.
z6cart=$(dirname "$player")/tools/z6cart
mkdir -p "$tmp/home/cstore"
for target in flood.png flood.z6; do
    row="failed"
    if "$z6cart" -pod "$(dirname "$player")/data.pod" convert "$root/assets/carts/comets.z6" \
        "$tmp/home/cstore/$target" >/dev/null 2>&1; then
        printf '%s\n' "zibo-6 cartridge // cstore loop" "version 33" "__lua__" \
            "function _update() local i=0 while stat(1)<0.95 do i+=1 poke(0,i) cstore(0,0,1,\"$target\") end end" \
            "function _draw() stop() end" >"$tmp/cstore_loop.z6"
        set -- $(cpu_time 5 -- "$player" -home "$tmp/home" -x "$tmp/cstore_loop.z6")
        loop=$1
        set -- $(cpu_time 5 -- "$player" -home "$tmp/home" -x "$tmp/first.z6")
        case $loop$1 in *failed*) ;; *) row=$(echo "$loop $1" | awk '{ printf "%.0f", $1 - $2 }') ;; esac
    fi
    printf "%-46s %10s %10s %6s\n" "cstore loop frame to $target, CPU ms" "$row" "" "$(load)"
done

if [ -x "$audio_bench" ]; then
    r=$("$audio_bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
        awk '/_min|_mean/ && !m { for (i = 1; i <= NF; i++) if ($i ~ /^render_per_audio=/) { sub(/render_per_audio=/, "", $i); v = $i } } END { print v }')
    # Google Benchmark prints the counter with a unit suffix (m, u, n).
    x=$(echo "$r" | awk '{ v = $1; u = substr(v, length(v)); s = 1
        if (u == "m") s = 1e-3; else if (u == "u") s = 1e-6; else if (u == "n") s = 1e-9
        if (s != 1) v = substr(v, 1, length(v) - 1)
        if (v + 0 > 0) printf "%.0fx", 1 / (v * s); else print "?" }')
    printf "%-46s %10s %10s %6s\n" "mixer, 8 channels: render s per audio s" "$r" "$x" "$(load)"
else
    printf "%-46s %10s\n" "mixer, 8 channels: render s per audio s" "no audio_bench"
fi
