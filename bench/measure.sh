#!/bin/sh
# Builds the release program and measures it side by side on Linux for 30 s (or the seconds
# given); bench/run.sh does the same and the Wine side too.
set -eu
exec "$(dirname "$0")/run.sh" --linux-only --seconds "${1:-20}"
