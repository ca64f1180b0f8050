#!/usr/bin/env bash
# The release scripts' one option. Sourced as `source tools/out-option.sh DEFAULT "$@"`:
# sets $out to the folder --out DIR names (DEFAULT without it); anything else is refused.
out=$1
shift
if [[ ${1:-} == --out && -n ${2:-} ]]; then
  out=$2
  shift 2
fi
(($# == 0)) || { echo "usage: $0 [--out DIR]" >&2; exit 2; }
