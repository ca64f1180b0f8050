#!/usr/bin/env bash
# Makes every file of a release in one folder: the Windows zip and both installers with the
# scoop and winget manifests (tools/make-release-zip.sh), the Debian package and the RPM of the
# Linux program (the release preset, CPack), and one SHA256SUMS over the five.
#
# Usage: tools/make-release.sh [--out DIR]     (default: build/release-files)
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=tools/out-option.sh
source tools/out-option.sh build/release-files "$@"
mkdir -p "$out"
out=$(cd "$out" && pwd)
# What an earlier run left is replaced, not summed.
rm -f "$out"/*.zip "$out"/*.msi "$out"/*.deb "$out"/*.rpm "$out"/SHA256SUMS

bash tools/install-deps.sh all
bash tools/make-release-zip.sh --out "$out"

if [[ ! -f build/release/CMakeCache.txt ]]; then
  cmake --preset release >/dev/null
fi
cmake --build --preset release -j"${PELMORA_JOBS:-2}"
staging=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-release.XXXXXX")
trap 'rm -rf "$staging"' EXIT
for generator in DEB RPM; do
  (cd build/release && cpack -G "$generator" -B "$staging" >/dev/null)
done
mv "$staging"/*.deb "$staging"/*.rpm "$out"/

cd "$out"
sha256sum -- *.zip *.msi *.deb *.rpm >SHA256SUMS
ls -1 "$out"/*.zip "$out"/*.msi "$out"/*.deb "$out"/*.rpm "$out"/SHA256SUMS
