#!/usr/bin/env bash
# Runs a command with an X display and a Wine prefix of its own, and takes both
# away afterwards: Xvfb started with -displayfd and ended by its pid.
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-xvfb.XXXXXX")
xvfb_pid=
cleanup() {
  if [[ -n $xvfb_pid ]]; then
    WINEPREFIX=$work/prefix timeout 20 /usr/lib/wine/wineserver -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 20 -u "$display_fd" display || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
# A crash ends the process at once instead of waiting in the debugger.
export DISPLAY=":$display" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
"$@"
