#!/usr/bin/env bash
# Builds the /proc/meminfo parser's fuzz target with clang (libFuzzer, ASan, UBSan) and runs
# it for a bounded time from the committed corpus. Exits non-zero on any finding.
#   tests/fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../src" && pwd)
out=$1
seconds=${2:-10}
mkdir -p "$out"
clang=$(command -v clang++-14 || command -v clang++ || true)
if [[ -z $clang ]]; then
  echo "clang++ is missing (tools/install-deps.sh linux installs it)" >&2
  exit 1
fi
"$clang" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$src" "$here/meminfo_fuzz.cpp" "$src/platform/linux/linux_meminfo.cpp" \
  "$src/platform/emulated/memory_status.cpp" -o "$out/meminfo_fuzz"
# The committed corpus is only read: what the run finds goes to a scratch copy.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/corpus/meminfo/* "$work"/
"$out/meminfo_fuzz" -seed=1 -max_total_time="$seconds" -timeout=5 -max_len=4096 \
  -artifact_prefix="$out/" "$work"
