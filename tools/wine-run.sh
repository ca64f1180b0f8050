#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine with a prefix of its own, quietly.
set -euo pipefail
: "${WINEPREFIX:=${TMPDIR:-/tmp}/pelmora-wine-$(id -u)}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
exec "$wine" "$@"
