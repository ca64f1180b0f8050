#!/bin/sh
# Builds the release program and measures it for 30 s (or the seconds given).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target pelmora
exec /usr/bin/python3 -B bench/measure.py build/release/src/platform/qt/pelmora --seconds "${1:-30}"
