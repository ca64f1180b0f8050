#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Pelmora needs.
# Does nothing when all of them are already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3 git clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev libxcb1-dev fonts-liberation
  libgtest-dev libgmock-dev googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 python3-pefile wine64
  xvfb xauth trayer openbox xdotool x11-utils x11-apps imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
