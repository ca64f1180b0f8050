#!/usr/bin/env bash
# Builds and runs every test: unit tests on the recording native layer (under ASan and UBSan),
# the Qt backend and end-to-end tests of the Linux program, and both Windows builds with
# their resource checks, unit, backend and end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

start=$SECONDS
bash tools/install-deps.sh all
echo "--- install: $((SECONDS - start)) s"

jobs=${PELMORA_JOBS:-$(nproc)}
log_dir=build/test-logs
mkdir -p "$log_dir"
rm -f "$log_dir"/*.result "$log_dir"/*.timings

# Runs one step of a stage and notes how long it took.
timed() {
  local preset=$1 label=$2
  shift 2
  local start=$SECONDS status=0
  "$@" || status=$?
  local took=$((SECONDS - start))
  printf '%-18s %4d s\n' "$preset $label" "$took" >>"$log_dir/$preset.timings"
  echo "--- ${preset} ${label}: ${took} s" >&2
  return $status
}

# Configures and builds one preset.
build_preset() {
  local preset=$1
  echo "=== ${preset}"
  timed "$preset" configure cmake --preset "$preset" >"$log_dir/$preset-configure.log" || { cat "$log_dir/$preset-configure.log"; return 1; }
  timed "$preset" build cmake --build --preset "$preset" -j"$jobs"
}

# Runs one built preset's tests; leaves ctest's counts in <preset>.result.
test_preset() {
  local preset=$1 status=0
  timed "$preset" test bash -o pipefail -c 'ctest --preset "$1" 2>&1 | tee "$2"' _ "$preset" "$log_dir/$preset-ctest.log" || status=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log_dir/$preset-ctest.log" | tail -n 1 || true)
  if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    local failed=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]} skipped
    skipped=$(grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log_dir/$preset-ctest.log" || true)
    echo "$((total - failed - skipped)) $failed $skipped" >"$log_dir/$preset.result"
  elif ((status == 0)); then
    echo "ctest for $preset ran no test" >&2
    status=1
  fi
  return $status
}

run_preset() {
  build_preset "$1" && test_preset "$1"
}

# Runs a command with each line of its output marked with a name.
marked() {
  local name=$1
  shift
  ("$@") 2>&1 | sed -u "s/^/[$name] /"
  return "${PIPESTATUS[0]}"
}

# Runs presets one after another.
run_presets() {
  local status=0 preset
  for preset in "$@"; do
    run_preset "$preset" || status=1
  done
  return $status
}

# The two Windows builds compile one after the other; the 32-bit program's tests, which
# mostly wait on Wine and displays, run while the 64-bit one compiles.
run_windows() {
  local status=0 win32_tests=
  if marked win32 build_preset win32; then
    marked win32 test_preset win32 &
    win32_tests=$!
  else
    status=1
  fi
  marked win64 run_preset win64 || status=1
  if [[ -n $win32_tests ]]; then
    wait "$win32_tests" || status=1
  fi
  return $status
}

# The Linux and the Windows stages share nothing: they run side by side, so that one's
# waiting (displays, Wine) overlaps the other's compiling.
chain_start=$SECONDS
marked linux run_presets asan dev &
linux=$!
run_windows &
windows=$!
overall=0
wait "$linux" || overall=1
wait "$windows" || overall=1

passed=0
failed=0
skipped=0
for preset in asan dev win32 win64; do
  if [[ -f $log_dir/$preset.result ]]; then
    read -r p f s <"$log_dir/$preset.result"
    passed=$((passed + p))
    failed=$((failed + f))
    skipped=$((skipped + s))
  else
    echo "no test result for $preset" >&2
    overall=1
  fi
done

echo
echo "stage timings:"
cat "$log_dir"/{asan,dev,win32,win64}.timings 2>/dev/null | sed 's/^/  /'
echo "  all stages (side by side) $((SECONDS - chain_start)) s"
echo "tests: ${passed} passed, ${failed} failed, ${skipped} skipped"
if ((skipped > 0)); then
  echo "skipped:"
  grep -hsE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log_dir"/{asan,dev,win32,win64}-ctest.log |
    sed 's/^[[:space:]]*/  /' || true
fi
exit $overall
