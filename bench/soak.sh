#!/usr/bin/env bash
# Builds the soak drivers (PELMORA_BENCH=ON) and runs them: a million refreshes, 2,000 About
# box and 2,000 popup menu cycles at full speed, with memory, heap, handles and window-system
# objects compared at the start and the end of each phase.
#
#   bench/soak.sh [linux | wine | all] [--xcb] [-- soak options]
#
#   linux   the portable program alone, then the Qt backend offscreen (--xcb: also on X)
#   wine    the 64-bit Win32 backend under Wine, refreshes limited to 180 s by default
#   soak options: --ticks N --tick-seconds S --about N --popups N --tick-warmup N
#                 --cycle-warmup N
# Exit status: 0 flat, 1 something grew, 2 a driver did not build or run.
set -euo pipefail

bench=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$bench/.." && pwd)
sides=(linux wine)
xcb=()
extra=()
while (($#)); do
  case $1 in
    linux|wine) sides=("$1"); shift ;;
    all) shift ;;
    --xcb) xcb=(--xcb); shift ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "soak.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

# shellcheck source=prepare.sh
source "$bench/prepare.sh"
status=0
for side in "${sides[@]}"; do
  rc=0
  case $side in
    linux)
      build soak-linux sh -c "cd '$root' && cmake -S . -B build/bench-soak -G Ninja \
        -DCMAKE_BUILD_TYPE=Release -DPELMORA_BACKEND=qt -DPELMORA_TESTS=OFF -DPELMORA_BENCH=ON &&
        cmake --build build/bench-soak -j2 --target pelmora_soak pelmora_soak_core"
      python3 -B "$bench/soak.py" linux --build "$root/build/bench-soak" \
        --tools "$tools" "${xcb[@]}" -- "${extra[@]}" || rc=$?
      ;;
    wine)
      build soak-win64 sh -c "cd '$root' && cmake -S . -B build/bench-soak-win64 -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE='$root/cmake/mingw-x86_64.cmake' -DCMAKE_BUILD_TYPE=Release \
        -DPELMORA_BACKEND=win32 -DPELMORA_TESTS=OFF -DPELMORA_BENCH=ON &&
        cmake --build build/bench-soak-win64 -j2 --target PelmoraSoak"
      wine_args=("${extra[@]}")
      [[ " ${extra[*]} " == *" --tick-seconds "* ]] || wine_args+=(--tick-seconds 180)
      python3 -B "$bench/soak.py" wine --exe "$root/build/bench-soak-win64/bench/PelmoraSoak.exe" \
        --tools "$tools" --prefix "${PELMORA_BENCH_WINEPREFIX:-$log/wine}" \
        -- "${wine_args[@]}" || rc=$?
      ;;
  esac
  ((rc > status)) && status=$rc
done
exit "$status"
