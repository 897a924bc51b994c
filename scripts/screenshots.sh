#!/bin/sh
# Takes the README's screenshots from a real window under Xvfb: the boot
# screen, the launcher, each embedded cart, the pause menu and the controls
# page; and the key-configuration screen from a headless run that calls
# keyconfig(). Each is the 128x128 console picture, as build/tools/windowcmp and
# screencmp read it (they write NAME.actual.png when NAME.png is missing).
# Needs Xvfb, xdotool and xwd.
# Usage: scripts/screenshots.sh [BUILD_DIR [OUT_DIR]]   (default build/ and docs/)
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
DOCS=${2:-$ROOT/docs}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/screenshots.XXXXXX")
XPID=""
PPID_=""
cleanup() {
    [ -n "$PPID_" ] && kill "$PPID_" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
for tool in Xvfb xdotool xwd; do
    command -v $tool >/dev/null || { echo "screenshots: needs $tool"; exit 1; }
done
[ -x "$BUILD/zibo6" ] && [ -f "$BUILD/data.pod" ] || { echo "screenshots: build first"; exit 1; }
mkdir -p "$DOCS"

n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XPID=$!
export DISPLAY=":$n"
i=0
until xdotool getdisplaygeometry >/dev/null 2>&1 || [ $i -ge 50 ]; do sleep 0.1; i=$((i + 1)); done

LSAN_OPTIONS="suppressions=$ROOT/tests/platform/x11_lsan.supp" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$BUILD/zibo6" -home "$WORK/home" -windowed 1 \
    >"$WORK/out" 2>&1 &
PPID_=$!
win=""
i=0
while [ -z "$win" ] && [ $i -lt 100 ]; do
    win=$(xdotool search --name '^zibo-6$' 2>/dev/null | head -1)
    sleep 0.1
    i=$((i + 1))
done
[ -n "$win" ] || { cat "$WORK/out"; echo "screenshots: no window"; exit 1; }
xdotool windowfocus --sync "$win" >/dev/null 2>&1

shot() { # shot NAME: the console picture in the window as NAME.png
    rm -f "$DOCS/$1.png" "$DOCS/$1.actual.png"
    xwd -silent -id "$win" -out "$WORK/shot.xwd" &&
        "$BUILD/tools/windowcmp" "$WORK/shot.xwd" "$DOCS/$1.png" >/dev/null 2>&1
    if [ -f "$DOCS/$1.actual.png" ]; then
        mv "$DOCS/$1.actual.png" "$DOCS/$1.png" && echo "$DOCS/$1.png"
    else
        echo "screenshots: no picture for $1"
    fi
}
press() { # press KEY [SECONDS]: held long enough for a frame to see it
    xdotool keydown "$1"
    sleep 0.15
    xdotool keyup "$1"
    sleep "${2:-0.5}"
}

sleep 0.4
shot boot
sleep 5
shot launcher_title
press z
shot launcher
press z 3
shot orchard
# The pause menu: continue, reset best, options, reset cart, back to launcher.
press Escape
shot pause_menu
press Down 0.3
press Down 0.3
# The options page: sound, fullscreen, controls, back.
press z
press Down 0.3
press Down 0.3
press z 1
shot controls
press Escape 1
press Escape
for k in 1 2 3 4; do press Down 0.3; done
press z 3
press z
press Down
press z 3
shot comets
xdotool key ctrl+q
sleep 1

# The key-configuration screen, from the screen a headless run leaves; screencmp
# writes what it read as NAME.actual.png when NAME.png does not exist yet.
printf 'zibo-6 cartridge // keys\nversion 33\n__lua__\nkeyconfig()\n' >"$WORK/keys.z6"
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$BUILD/zibo6" -x "$WORK/keys.z6" -home "$WORK/home" \
    >"$WORK/keys.out" 2>&1
rm -f "$DOCS/keyconfig.png"
"$BUILD/tools/screencmp" "$WORK/keys.out" "$DOCS/keyconfig.png" "$ROOT/assets/palette.txt" \
    >/dev/null 2>&1
if [ -f "$DOCS/keyconfig.actual.png" ]; then
    mv "$DOCS/keyconfig.actual.png" "$DOCS/keyconfig.png" && echo "$DOCS/keyconfig.png"
else
    echo "screenshots: no key-configuration screen"
fi
