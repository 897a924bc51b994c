#!/bin/sh
# Takes the README's screenshots from a real window under Xvfb: the boot
# screen, the launcher, each embedded cart, the pause menu and the controls
# page; and the key-configuration screen as the shell's page test draws it.
# Each is the 128x128 console picture, as build/tools/windowcmp reads it (it
# writes NAME.actual.png when NAME.png is missing). Needs Xvfb, xdotool, xwd
# and the test build (make build-test).
# Usage: scripts/screenshots.sh [BUILD_DIR [OUT_DIR]]   (default build/ and docs/)
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
DOCS=${2:-$ROOT/docs}
NAME=screenshots
. "$ROOT/tests/support/window_lib.sh"
need_tools 1 Xvfb xdotool xwd
[ -x "$BUILD/zibo6" ] && [ -f "$BUILD/data.pod" ] || { echo "screenshots: build first"; exit 1; }
mkdir -p "$DOCS"

start_xvfb || { echo "screenshots: Xvfb did not start"; exit 1; }

# start_player: the player in a window on a fresh log; sets win.
start_player() {
    rm -f "$WORK/home/log.txt"
    LSAN_OPTIONS="suppressions=$ROOT/tests/platform/x11_lsan.supp" \
        SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$BUILD/zibo6" -home "$WORK/home" -windowed 1 \
        >"$WORK/out" 2>&1 &
    PPID_=$!
    wait_window
    [ -n "$win" ] || { cat "$WORK/out"; echo "screenshots: no window"; exit 1; }
    xdotool windowfocus --sync "$win" >/dev/null 2>&1
}
stop_player() {
    kill "$PPID_" 2>/dev/null
    wait "$PPID_" 2>/dev/null
    PPID_=""
}

shot() { # shot NAME [DUMP]: the console picture in the window (or DUMP) as NAME.png
    rm -f "$DOCS/$1.png" "$DOCS/$1.actual.png"
    dump=${2:-$WORK/shot.xwd}
    [ -n "${2:-}" ] || xwd -silent -id "$win" -out "$dump"
    "$BUILD/tools/windowcmp" "$dump" "$DOCS/$1.png" >/dev/null 2>&1
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

# The boot screen; a boot that was not caught is played again.
mkdir -p "$WORK/home"
tries=0
while :; do
    rm -f "$WORK"/boot*
    start_player
    if boot_dump "$BUILD/tools/windowcmp" "$WORK/boot.xwd"; then
        shot boot "$WORK/boot.xwd"
        break
    fi
    tries=$((tries + 1))
    if [ $tries -ge 3 ]; then
        echo "screenshots: no picture for boot"
        break
    fi
    stop_player
done
sleep 2
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

# The key-configuration screen. keyconfig() only opens it: the shell draws it
# once the machine has stopped, and a -x run quits as its cart stops, so no
# cart can read it back and no window reaches it (the pause menu has no entry
# for it). The page test of the shell draws it with the player's own frame
# draw on the real data.pod (one key already chosen, the next one asked for);
# pointed at an empty source tree it finds no stored page and writes the one
# it drew.
mkdir -p "$WORK/src/tests/shell/pages"
ZIBO6_SOURCE_DIR="$WORK/src" ZIBO6_BINARY_DIR="$BUILD" \
    "$BUILD/tests/shell/shell_test_compose" --gtest_filter=Compose.KeyConfigScreen \
    >"$WORK/keys.out" 2>&1
if [ -f "$WORK/src/tests/shell/pages/key_config.actual.png" ]; then
    mv "$WORK/src/tests/shell/pages/key_config.actual.png" "$DOCS/keyconfig.png" &&
        echo "$DOCS/keyconfig.png"
else
    echo "screenshots: no key-configuration screen (build the tests first)"
fi
