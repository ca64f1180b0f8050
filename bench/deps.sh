#!/usr/bin/env bash
# Installs what building and running the bench needs, beyond the project's own packages,
# when something is missing (apt-get, through sudo when not root). Sourced by prepare.sh
# (for run.sh and soak.sh).
# GoogleTest: the portable soak runs on the tests' recording layer, which reports through it.
bench_packages=(cmake ninja-build g++ gcc pkg-config python3 qt6-base-dev libgtest-dev libx11-dev
                libxdamage-dev libxres-dev xvfb xauth openbox trayer xdotool x11-utils
                util-linux dbus-daemon g++-mingw-w64-x86-64 wine64)
bench_missing=()
for p in "${bench_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    bench_missing+=("$p")
done
if ((${#bench_missing[@]})); then
  echo "Installing: ${bench_missing[*]}"
  bench_sudo=()
  [[ $(id -u) -ne 0 ]] && bench_sudo=(sudo)
  "${bench_sudo[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${bench_sudo[@]}" apt-get install -y --no-install-recommends \
    "${bench_missing[@]}"
fi
