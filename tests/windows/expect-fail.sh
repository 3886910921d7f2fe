#!/usr/bin/env bash
# Runs a check that must fail, and passes only if it fails and reports every expected problem.
#
#   expect-fail.sh [-e REGEX]... -- COMMAND [ARGS...]
#
# Proves that a check can fail: a program built with known defects must be rejected for
# each of them, not merely rejected (a crash of the check would not count).
set -uo pipefail
patterns=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case $1 in
    -e) patterns+=("$2"); shift 2 ;;
    *) echo "usage: $0 [-e REGEX]... -- COMMAND [ARGS...]" >&2; exit 2 ;;
  esac
done
[ $# -ge 2 ] || { echo "usage: $0 [-e REGEX]... -- COMMAND [ARGS...]" >&2; exit 2; }
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
failed=0
if [ $status -eq 0 ]; then echo "expect-fail: the check passed, but it must fail"; failed=1; fi
if [ $status -eq 2 ]; then echo "expect-fail: the check was called wrongly (status 2)"; failed=1; fi
for p in "${patterns[@]}"; do
  grep -Eq -- "$p" <<<"$output" || { echo "expect-fail: no report matching '$p'"; failed=1; }
done
[ $failed -eq 0 ] && echo "expect-fail: rejected as expected"
exit $failed
