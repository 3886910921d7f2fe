#!/usr/bin/env bash
# The include graph keeps its layers: base/ includes nothing of ours, pack/ nothing of the
# launcher or the tools. Usage: tests/layering.sh SOURCE_DIR
set -u
cd "$1" || exit 2
status=0
check() {  # check DIR FORBIDDEN_PREFIX...
  local dir=$1; shift
  for prefix in "$@"; do
    if grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"$prefix/" "$dir"; then
      echo "layering: $dir/ must not include $prefix/" >&2
      status=1
    fi
  done
}
check base pack launcher image tools
check pack launcher tools
exit $status
