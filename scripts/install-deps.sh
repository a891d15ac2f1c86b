#!/usr/bin/env bash
# Installs the Debian 12 packages Vantel needs to build, run and test, skipping
# those already present. Uses sudo when not run as root.
set -euo pipefail

packages=(
  g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
  qt6-base-dev libpulse-dev libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  multimon-ng sox xvfb xauth pulseaudio pulseaudio-utils fonts-dejavu-core fonts-liberation2
  dpkg-dev file desktop-file-utils groff-base man-db lintian
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-torch python3-distributed
  python3-matplotlib
  python3-build python3-wheel python3-venv python3-pip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
