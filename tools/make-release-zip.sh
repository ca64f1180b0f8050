#!/usr/bin/env bash
# Builds the Windows release zip in one go: both Windows programs (the win32 and win64 presets),
# then the zip with the 32-bit Pelmora.exe, the 64-bit one in x64\, LICENSE, README.txt and
# SHA256SUMS, and beside it the scoop and winget manifests with the zip's SHA-256 filled in.
#
# Usage: tools/make-release-zip.sh [--out DIR]     (default: build/release-zip)
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=tools/out-option.sh
source tools/out-option.sh build/release-zip "$@"

bash tools/install-deps.sh windows
for preset in win32 win64; do
  if [[ ! -f build/$preset/CMakeCache.txt ]]; then
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset" --target Pelmora -j"${PELMORA_JOBS:-2}"
done
python3 -B tools/release_zip.py --win32 build/win32 --win64 build/win64 --out "$out"
