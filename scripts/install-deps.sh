#!/usr/bin/env bash
# Installs the Debian packages that building and testing Toggra need; does
# nothing when they are all present.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  clang-14 libclang-rt-14-dev libfuzzer-14-dev valgrind
  desktop-file-utils appstream dpkg-dev librsvg2-bin groff-base lintian systemd
  xdotool imagemagick
  libusb-1.0-0-dev umockdev libumockdev-dev
  libhidapi-dev libgpiod-dev
  mosquitto mosquitto-clients libmosquitto-dev libssl-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
