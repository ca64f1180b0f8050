#!/usr/bin/env bash
# Pelmora side by side with the least programs of its shape: builds the release program,
# the 64-bit Pelmora.exe and the bench's own programs, then runs the Linux side by side and
# the Wine side by side (bench/sidebyside.py), prints their tables and budgets.
#
#   bench/run.sh [--tree DIR] [--linux-only | --wine-only] [--seconds N] [-- sidebyside options]
#
#   --tree DIR    measure the program built from another source tree (a checkout or a
#                 `git archive` of an older commit); the bench's own programs always come
#                 from this checkout
#   --seconds N   length of each of the nine side-by-side rounds (20)
#
# Exit status: 0 every figure within its budget, 1 over a budget, 2 a figure could not be
# judged or something failed to build or start.
set -euo pipefail

bench=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$bench/.." && pwd)
tree=$root
sides=(linux wine)
seconds=20
extra=()
while (($#)); do
  case $1 in
    --tree) tree=$(cd "$2" && pwd); shift 2 ;;
    --linux-only) sides=(linux); shift ;;
    --wine-only) sides=(wine); shift ;;
    --seconds) seconds=$2; shift 2 ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

echo "Building the bench's programs"
# shellcheck source=prepare.sh
source "$bench/prepare.sh"

status=0
for side in "${sides[@]}"; do
  case $side in
    linux)
      echo "Building pelmora (release) from $tree"
      build release sh -c "cd '$tree' && cmake --preset release && cmake --build --preset release -j2 --target pelmora"
      echo
      rc=0
      python3 -B "$bench/sidebyside.py" linux --tools "$tools" --seconds "$seconds" \
        --pelmora "$tree/build/release/src/platform/qt/pelmora" "${extra[@]}" || rc=$?
      ;;
    wine)
      echo "Building Pelmora.exe (win64) and bare_win32.exe from $tree"
      build win64 sh -c "cd '$tree' && cmake --preset win64 && cmake --build --preset win64 -j2 --target Pelmora"
      build tools-win64 sh -c "cmake -S '$bench/tools' -B '$root/build/bench-tools-win64' -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE='$root/cmake/mingw-x86_64.cmake' && cmake --build '$root/build/bench-tools-win64' -j2"
      echo
      rc=0
      python3 -B "$bench/sidebyside.py" wine --tools "$tools" --seconds "$seconds" \
        --prefix "${PELMORA_BENCH_WINEPREFIX:-$log/wine}" \
        --exe "$tree/build/win64/src/platform/win32/Pelmora.exe" \
        --bare-exe "$root/build/bench-tools-win64/bare_win32.exe" "${extra[@]}" || rc=$?
      ;;
  esac
  echo
  ((rc > status)) && status=$rc
done

case $status in
  0) echo "bench: every figure within its budget" ;;
  1) echo "bench: over budget" ;;
  *) echo "bench: not every figure could be judged" ;;
esac
exit "$status"
