#!/bin/sh
# Installs the Debian packages the build and the tests need; does nothing when
# they are all present, and refreshes the package lists only when one is missing.
set -e
PACKAGES="cmake g++ make ninja-build pkg-config libsdl2-dev libssl-dev libgtest-dev libbenchmark-dev liblodepng-dev liblz4-dev libgif-dev lua5.2 xvfb x11-apps xdotool wget libzip-dev python3"
missing=""
for p in $PACKAGES; do
    if ! dpkg -s "$p" >/dev/null 2>&1; then missing="$missing $p"; fi
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing:$missing"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
