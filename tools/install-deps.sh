#!/usr/bin/env bash
# Installs the Debian packages Pelmora needs for one purpose, and only those:
#
#   run      build and run the Linux program (tools/run-pelmora.sh)
#   linux    build and test the Linux program, its packages (.deb, .rpm) and desktop files
#   windows  build and test both Windows programs, the release zip and the installers
#            (MinGW-w64, Wine, wixl)
#   all      everything above (tools/run-tests.sh)
#
# Usage: install-deps.sh [MODE]      installs what MODE needs (default: all)
#        install-deps.sh --list MODE prints those packages, one a line, and installs nothing
# Does nothing when all of them are there already.
set -euo pipefail

# Building the Linux program, and showing it on a virtual display when there is no desktop.
run_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev libxcb1-dev fonts-liberation
  xvfb xauth openbox trayer imagemagick
)
# Its tests: unit, backend, end to end, pictures, formatting, install tree, Debian package and
# RPM.
linux_packages=(
  "${run_packages[@]}"
  python3 git clang-format libgtest-dev libgmock-dev googletest
  xdotool x11-utils x11-apps x11-xserver-utils
  xfce4-panel xfconf dbus-daemon libglib2.0-bin libqt6dbus6 at-spi2-core python3-pyatspi
  desktop-file-utils appstream lintian dpkg-dev man-db file rpm rpmlint
  clang-14 libclang-rt-14-dev
  xserver-xorg-core xserver-xorg-video-dummy
)
# Both Windows programs, their tests under Wine (the 32-bit program with Wine's 32-bit half,
# from Debian's i386 architecture), the release zip and the installers (wixl builds them,
# msiinfo reads them back).
windows_packages=(
  cmake ninja-build python3 googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 python3-pefile wine64 wine32:i386 wixl msitools
  # Wine's 32-bit half reaches the display through the same X libraries as its 64-bit one:
  # without XRandR it can change no screen mode, without the rest it lacks what the 64-bit
  # half has (Wine only recommends them).
  libxrandr2:i386 libxinerama1:i386 libxrender1:i386 libxi6:i386 libxcursor1:i386
  libxfixes3:i386 libxcomposite1:i386 libxxf86vm1:i386
  xvfb xauth xdotool x11-utils imagemagick
)

usage() {
  echo "usage: $0 [--list] [run|linux|windows|all]" >&2
  exit 2
}

list_only=false
if [[ ${1:-} == --list ]]; then
  list_only=true
  shift
fi
(($# <= 1)) || usage
case ${1:-all} in
  run) packages=("${run_packages[@]}") ;;
  linux) packages=("${linux_packages[@]}") ;;
  windows) packages=("${windows_packages[@]}") ;;
  all) packages=("${linux_packages[@]}" "${windows_packages[@]}") ;;
  *) usage ;;
esac
# Each package once, in a stable order.
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | sort -u)

if $list_only; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

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
  # A package of another architecture (name:arch) needs that architecture known to dpkg
  # before apt reads its package lists.
  for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/^[^:]*://p' | sort -u); do
    if [[ $arch != "$(dpkg --print-architecture)" ]] &&
       ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      "${sudo_cmd[@]}" dpkg --add-architecture "$arch"
    fi
  done
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
