#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Safe to run again: packages already present are left alone.
set -euo pipefail
packages=(
  cmake g++ make pkg-config clang libclang-rt-14-dev
  libsdl2-dev libgl-dev libgl1-mesa-dri libpng-dev libfreetype-dev
  libgtest-dev libbenchmark-dev
  ttf-bitstream-vera fonts-dejavu-core zenity
  xvfb xauth xdotool x11-utils imagemagick libx11-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
# The font comes from Debian's package; images are the project's own.
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$root/images/VeraMono.ttf" ]; then
  cp /usr/share/fonts/truetype/ttf-bitstream-vera/VeraMono.ttf "$root/images/VeraMono.ttf"
fi
