#!/usr/bin/env bash
# Installs the Debian packages that building and testing Toggra need; does
# nothing when they are all present. Works on Debian 12 and 13: the clang
# packages are those of the release's default clang (the version the `clang`
# package depends on), so no compiler version is written down here.
set -euo pipefail
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

# The major version of the release's default clang ("clang-19" in the
# Depends line of the `clang` package means 19).
default_clang() {
  apt-cache show --no-all-versions clang 2>/dev/null |
    sed -n 's/^Depends:.*\bclang-\([0-9][0-9]*\)\b.*/\1/p' | head -1
}
updated=0
clang_major=$(default_clang)
if [ -z "$clang_major" ]; then
  # A fresh root has no package lists yet.
  $SUDO apt-get update -qq
  updated=1
  clang_major=$(default_clang)
fi
if [ -z "$clang_major" ]; then
  echo "install-deps.sh: this release offers no clang package" >&2
  exit 1
fi

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  clang libclang-rt-dev "libfuzzer-${clang_major}-dev" valgrind
  desktop-file-utils appstream dpkg-dev file librsvg2-bin groff-base lintian systemd
  xdotool imagemagick
  libusb-1.0-0-dev umockdev libumockdev-dev libudev-dev
  libhidapi-dev libgpiod-dev
  mosquitto mosquitto-clients libmosquitto-dev libssl-dev
)
# The modbus back-end (Modbus RTU relay boards); in Debian 12 and 13 alike.
packages+=(libmodbus-dev)
# The FTDI relay boards' back-end (ftdi); in Debian 12 and 13 alike.
packages+=(libftdi1-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
[ $updated -eq 1 ] || $SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
