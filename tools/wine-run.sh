#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix of its own, quietly: a 64-bit program with
# Wine's 64-bit loader, or with --32 a 32-bit one with the 32-bit loader (in the same 64-bit
# prefix, as a 64-bit Windows runs it).
set -euo pipefail
: "${WINEPREFIX:=${TMPDIR:-/tmp}/pelmora-wine-$(id -u)}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [[ ${1:-} == --32 ]]; then
  shift
  wine=/usr/lib/wine/wine
  [[ -x $wine ]] || wine=$(command -v wine)
else
  wine=/usr/lib/wine/wine64
  [[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
fi
exec "$wine" "$@"
