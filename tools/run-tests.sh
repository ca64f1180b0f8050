#!/usr/bin/env bash
# Builds and runs every test: unit tests on the recording fake (also under ASan and UBSan),
# the Qt backend and end-to-end tests of the Linux program, and both Windows builds with
# their resource checks, unit tests and end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

jobs=${PELMORA_JOBS:-$(nproc)}
log_dir=build/test-logs
mkdir -p "$log_dir"
passed=0
failed=0

# Configures, builds and tests one preset; tallies ctest's counts.
run_preset() {
  local preset=$1
  echo "=== ${preset}"
  cmake --preset "$preset" >"$log_dir/$preset-configure.log" || { cat "$log_dir/$preset-configure.log"; return 1; }
  cmake --build --preset "$preset" -j"$jobs"
  local status=0
  ctest --preset "$preset" 2>&1 | tee "$log_dir/$preset-ctest.log" || status=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log_dir/$preset-ctest.log" | tail -n 1 || true)
  if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  elif ((status == 0)); then
    echo "ctest for $preset ran no test" >&2
    status=1
  fi
  return $status
}

overall=0
for preset in asan dev win32 win64; do
  run_preset "$preset" || overall=1
done

echo
echo "tests: ${passed} passed, ${failed} failed"
exit $overall
