#!/usr/bin/env bash
# Installs the Debian packages the build, the game and the tests need, when any is missing.
# With --bench, also what the benchmarks compare against or profile with (never needed to build,
# play or test).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libgl-dev libgl1-mesa-dri libfreetype-dev libopenjp2-7-dev
  libvorbis-dev libogg-dev zlib1g-dev libpng-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick
  libxmp-dev libbullet-dev xdg-utils
)
# Comparison-only: the frame benchmark runs the mini-golf game Linux players already have beside
# ours, and its helpers need the X headers; perf finds where a frame's time goes.
if [ "${1:-}" = "--bench" ]; then
  packages+=(neverputt libx11-dev python3 linux-perf)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
