#!/usr/bin/env bash
# Builds Pelmora (the release preset) and starts it. With no display, it runs the program for a
# few seconds on a virtual one (Xvfb, with openbox as window manager and trayer as tray host),
# saves a screenshot to build/screenshot.png and stops everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh run
cmake --preset release >/dev/null
cmake --build --preset release -j"${PELMORA_JOBS:-2}"
program=build/release/src/platform/qt/pelmora

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  exec "$program"
fi

work=$(mktemp -d)
pids=()
# Stops what this script started, newest first, by process id.
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype pixel --width 100 --height 24 \
  --transparent false >"$work/trayer.log" 2>&1 &
pids+=($!)
sleep 1

# A runtime directory of its own, so a copy running on the real desktop is not in the way.
mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" "$program" &
pids+=($!)
sleep "${PELMORA_RUN_SECONDS:-4}"

mkdir -p build
import -window root build/screenshot.png
echo "Pelmora ran on the virtual display $DISPLAY; screenshot: $(pwd)/build/screenshot.png"
