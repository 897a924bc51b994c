#!/bin/sh
# Takes the README's screenshots from a real window under Xvfb: the boot
# screen, the launcher, each embedded cart, the pause menu and the controls
# page; and the key-configuration screen as the shell's page test draws it.
# The player is driven by an input script (ZIBO6_INPUT_SCRIPT), so each
# picture is taken at a fixed frame. Each is the 128x128 console picture, as
# build/tools/windowcmp reads it (it writes NAME.actual.png when NAME.png is
# missing). Needs Xvfb and the test build (make build-test).
# Usage: scripts/screenshots.sh [BUILD_DIR [OUT_DIR]]   (default build/ and docs/)
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
DOCS=${2:-$ROOT/docs}
NAME=screenshots
. "$ROOT/tests/support/window_lib.sh"
need_tools 1 Xvfb
[ -x "$BUILD/zibo6" ] && [ -f "$BUILD/data.pod" ] || { echo "screenshots: build first"; exit 1; }
mkdir -p "$DOCS" "$WORK/home"
start_xvfb || { echo "screenshots: Xvfb did not start"; exit 1; }

# The steps, a frame apart as noted: "press KEY" is down for two frames.
frame=0
at() { frame=$((frame + $1)); }
press() { echo "frame $frame keydown $1"; echo "frame $((frame + 2)) keyup $1"; at "${2:-10}"; }
shot() { echo "frame $frame dump $WORK/$1.png"; at 1; }
{
    at 70; shot boot
    at 60; shot launcher_title
    press z 20; shot launcher
    press z 90; shot orchard
    # The pause menu: continue, reset best, options, reset cart, back to launcher.
    press Escape 20; shot pause_menu
    press Down; press Down
    # The options page: sound, fullscreen, controls, back.
    press z 15; press Down; press Down
    press z 30; shot controls
    press Escape 30; press Escape 15
    # Back at the launcher's list, orchard chosen: comets is one down.
    press Down; press Down; press Down; press Down
    press z 90; press Down 15
    press z 90; shot comets
    echo "frame $frame quit"
} >"$WORK/script"
LSAN_OPTIONS="suppressions=$ROOT/tests/platform/x11_lsan.supp" SDL_VIDEODRIVER=x11 \
    SDL_AUDIODRIVER=dummy ZIBO6_INPUT_SCRIPT="$WORK/script" \
    timeout $LONG "$BUILD/zibo6" -home "$WORK/home" -windowed 1 >"$WORK/out" 2>&1 ||
    { cat "$WORK/out"; echo "screenshots: the player failed"; }
for name in boot launcher_title launcher orchard pause_menu controls comets; do
    rm -f "$DOCS/$name.png" "$DOCS/$name.actual.png"
    "$BUILD/tools/windowcmp" "$WORK/$name.png" "$DOCS/$name.png" >/dev/null 2>&1
    if [ -f "$DOCS/$name.actual.png" ]; then
        mv "$DOCS/$name.actual.png" "$DOCS/$name.png" && echo "$DOCS/$name.png"
    else
        echo "screenshots: no picture for $name"
    fi
done

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
