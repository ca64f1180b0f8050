#!/usr/bin/env bash
# What run.sh and soak.sh do first, once their options are read (they source this with $bench
# and $root set): install what is missing (deps.sh), define `build`, and build the bench's own
# programs into build/bench-tools. Sets $log (where the build logs go) and $tools.

# shellcheck source=deps.sh
source "$bench/deps.sh"

log=$root/build/bench
mkdir -p "$log"
build() {  # build NAME COMMAND...: output to a log, shown only on failure
  local name=$1; shift
  if ! "$@" >"$log/$name.log" 2>&1; then
    echo "${0##*/}: building $name failed; the end of $log/$name.log:" >&2
    tail -30 "$log/$name.log" >&2
    exit 2
  fi
}

build tools-linux sh -c "cmake -S '$bench/tools' -B '$root/build/bench-tools' -G Ninja &&
  cmake --build '$root/build/bench-tools' -j2"
tools=$root/build/bench-tools
