#!/usr/bin/env bash
# Runs a command with an X display and a Wine prefix of its own, and takes both away
# afterwards: Xvfb started with -displayfd and ended by its pid.
#
#   in-xvfb.sh [--prefix TEMPLATE] COMMAND...   the prefix starts as a copy of TEMPLATE
#   in-xvfb.sh --make-prefix TEMPLATE           makes TEMPLATE once, for the runs to copy,
#                                               and TEMPLATE-unmanaged beside it
#
# In TEMPLATE-unmanaged Wine draws its windows' frames itself instead of waiting for a
# window manager: on a display without one it would wait two seconds at every show and
# hide for a state change that never comes. The program's own windows look the same
# either way; the backend tests use it, the end-to-end tests keep Wine's default.
set -euo pipefail
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver64 || command -v wineserver)
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)

template=
make_template=
case ${1:-} in
  --prefix) template=$2; shift 2 ;;
  --make-prefix) make_template=$2; shift 2 ;;
esac

# A prefix Wine has finished setting up holds its registry, and its update stamp names the
# installed Wine (a stale one would be updated in place by its first run). Where Wine's 32-bit
# loader is installed, it also holds the 32-bit system folder that 32-bit programs load from
# (a prefix made before the loader came has none).
prefix_ready() {
  [[ -f $1/system.reg && -f $1/.update-timestamp ]] || return 1
  [[ ! -x /usr/lib/wine/wine || -d $1/drive_c/windows/syswow64 ]] || return 1
  local inf=/usr/share/wine/wine.inf
  [[ ! -f $inf || $(tr -d '\r\n' <"$1/.update-timestamp") == "$(stat -c %Y "$inf")" ]]
}

# Copies a prefix: the system folder's few hundred MB of DLLs, which Wine only reads, as
# hard links; everything else as files of its own.
copy_prefix() {
  mkdir -p "$2"
  tar -C "$1" --exclude=./drive_c/windows/system32 -cf - . | tar -C "$2" -xf -
  cp -al "$1/drive_c/windows/system32" "$2/drive_c/windows/system32"
}

# Puts a finished prefix in place under its final name.
publish() {
  rm -rf "$2.tmp" "$2"
  mkdir -p "$(dirname "$2")"
  cp -a "$1/." "$2.tmp"
  mv "$2.tmp" "$2"
}

# Both Windows builds share the prefixes and may ask for them at once: one makes them, the
# other waits for its lock and finds them ready. The lock stays with flock, not with the
# display and the Wine processes started here.
if [[ -n $make_template && -z ${PELMORA_PREFIX_LOCKED:-} ]]; then
  mkdir -p "$(dirname "$make_template")"
  PELMORA_PREFIX_LOCKED=1 exec flock -o "$make_template.lock" "$0" --make-prefix "$make_template"
fi
if [[ -n $make_template ]] && prefix_ready "$make_template" &&
   prefix_ready "$make_template-unmanaged"; then
  echo "Wine prefixes ready: $make_template"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-xvfb.XXXXXX")
xvfb_pid=
cleanup() {
  if [[ -n $xvfb_pid ]]; then
    WINEPREFIX=$work/prefix timeout 20 "$wineserver" -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if [[ -n $template ]]; then
  prefix_ready "$template" || { echo "no Wine prefix at $template" >&2; exit 1; }
  copy_prefix "$template" "$work/prefix"
fi

exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 20 -u "$display_fd" display || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
# A crash ends the process at once instead of waiting in the debugger.
export DISPLAY=":$display" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

if [[ -n $make_template ]]; then
  "$wine" wineboot -i >/dev/null 2>&1
  # The registry reaches the disk when the server ends.
  "$wineserver" -w
  publish "$work/prefix" "$make_template"
  # The server reads the user's registry file when it starts: a key added to its end takes
  # effect without starting Wine again.
  printf '\n[Software\\\\Wine\\\\X11 Driver] %s\n"Managed"="N"\n' "$(date +%s)" \
    >>"$work/prefix/user.reg"
  publish "$work/prefix" "$make_template-unmanaged"
  prefix_ready "$make_template" && prefix_ready "$make_template-unmanaged" ||
    { echo "Wine left no usable prefix" >&2; exit 1; }
  echo "Wine prefixes made: $make_template"
  exit 0
fi
"$@"
