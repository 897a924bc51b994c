#!/bin/sh
# The player's own CPU in a window with an idle 60 fps head cart
# (bench/player/idle.z6): under Xvfb, after a settling time, perf samples the
# process's user-space CPU every 100 us of CPU for SECONDS and the kernel's
# tick count gives the whole process's CPU (user and system). One line per
# run, in cores (CPU seconds per second): the whole process; all user-space
# samples; ours = samples in zibo6 and SDL; with the C runtime = ours plus
# the C and C++ runtime libraries our code calls (libc, libstdc++, libgcc_s,
# ld.so); then the load average. With two players the runs alternate, so
# both see the same load.
#   bench/player/window_idle.sh [-s SECONDS] [-n ROUNDS] PLAYER [PLAYER2]
# Defaults: 30 s, 3 rounds. Needs Xvfb and perf (neither is needed to build
# or test), and tools/mkdatapod beside each player.
# With -l it prints instead the functions of the player that the frames ran,
# the busiest first, as the linker names their sections (.text.NAME): one
# round, sampling every 20 us of CPU. That list is shell/frame_functions.txt:
#   bench/player/window_idle.sh -l -s 60 build-release/zibo6 >shell/frame_functions.txt
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
secs=30
rounds=3
list=0
while getopts s:n:l o; do
    case $o in
    s) secs=$OPTARG ;;
    n) rounds=$OPTARG ;;
    l) list=1 rounds=1 ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || { echo "usage: window_idle.sh [-l] [-s SECONDS] [-n ROUNDS] PLAYER [PLAYER2]" >&2; exit 2; }
for tool in Xvfb perf; do
    command -v $tool >/dev/null || { echo "window_idle.sh needs $tool" >&2; exit 2; }
done
tmp=$(mktemp -d "${TMPDIR:-/tmp}/z6window.XXXXXX")
xpid=""
ppid_=""
cleanup() {
    [ -n "$ppid_" ] && kill "$ppid_" 2>/dev/null
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Each player boots the idle cart as the head cart of a data file beside it.
n=0
for player in "$@"; do
    n=$((n + 1))
    mkdatapod=$(cd "$(dirname "$player")" && pwd)/tools/mkdatapod
    [ -x "$player" ] && [ -x "$mkdatapod" ] || { echo "no player or mkdatapod for $player" >&2; exit 2; }
    mkdir -p "$tmp/p$n/home"
    cp -R "$root/assets" "$tmp/p$n/assets"
    cp "$here/idle.z6" "$tmp/p$n/assets/carts/head.z6"
    "$mkdatapod" "$tmp/p$n/assets" "$tmp/p$n/data.pod" >/dev/null || exit 1
    cp "$player" "$tmp/p$n/zibo6"
    echo "$player" >"$tmp/p$n/name"
done

display=:$(( $$ % 400 + 300 ))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
i=0
until [ -e "/tmp/.X11-unix/X${display#:}" ]; do
    i=$((i + 1))
    [ $i -lt 100 ] || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
measure() { # n
    d=$tmp/p$1
    DISPLAY=$display SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$d/zibo6" -home "$d/home" \
        -windowed 1 >/dev/null 2>&1 &
    ppid_=$!
    sleep 8 # boot and settle
    t0=$(ticks $ppid_)
    period=100000
    [ $list = 1 ] && period=20000
    perf record -q -e cpu-clock:u -c $period -p $ppid_ -o "$tmp/perf.data" -- sleep "$secs" \
        >/dev/null 2>&1
    t1=$(ticks $ppid_)
    load=$(cut -d' ' -f1 /proc/loadavg)
    kill $ppid_
    wait $ppid_ 2>/dev/null
    ppid_=""
    if [ $list = 1 ]; then
        perf report -i "$tmp/perf.data" --stdio --sort sym -n --dsos zibo6 --no-demangle \
            2>/dev/null | awk '/^ *[0-9.]+%/ && $3 == "[.]" { print ".text." $4 }'
        return
    fi
    perf report -i "$tmp/perf.data" --stdio --sort dso -n 2>/dev/null |
        awk -v name="$(cat "$d/name")" -v s="$secs" -v t=$((t1 - t0)) \
            -v hz="$(getconf CLK_TCK)" -v load="$load" '
        /^ *[0-9.]+%/ { n = $2; d = $3; all += n
            if (d ~ /zibo6|SDL/) ours += n
            if (d ~ /zibo6|SDL|libc\.|libstdc|libgcc_s|ld-linux/) rt += n }
        END { printf "%s: whole %.4f  user %.4f  ours %.4f  with C runtime %.4f  load %s\n",
              name, t / hz / s, all * 1e-4 / s, ours * 1e-4 / s, rt * 1e-4 / s, load }'
}
r=0
while [ $r -lt "$rounds" ]; do
    r=$((r + 1))
    k=0
    while [ $k -lt $# ]; do
        k=$((k + 1))
        measure $k
    done
done
