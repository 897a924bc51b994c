#!/bin/sh
# A second configure and build, as every make call runs them, compiles and
# links nothing: a configure step that writes a generated file even when its
# bytes are the same made every library, program and test relink each time.
# The first round brings a build whose sources were edited up to date.
# Usage: configure_again.sh SOURCE_DIR BUILD_DIR
set -u
SRC=$1
BUILD=$2
round() {
    cmake -S "$SRC" -B "$BUILD" >/dev/null && cmake --build "$BUILD" -j 2 >"$BUILD/configure_again.log" 2>&1
}
round || { cat "$BUILD/configure_again.log"; echo "FAIL: the first build"; exit 1; }
round || { cat "$BUILD/configure_again.log"; echo "FAIL: the second build"; exit 1; }
steps=$(grep -E "Building|Linking|Generating" "$BUILD/configure_again.log")
rm -f "$BUILD/configure_again.log"
if [ -n "$steps" ]; then
    echo "FAIL: the second configure and build ran these steps:"
    echo "$steps"
    exit 1
fi
echo "configure_again: nothing compiled or linked"
