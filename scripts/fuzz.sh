#!/usr/bin/env bash
# Deep fuzzing: runs every fuzz target (or the ones named) for MINUTES minutes each, two at a
# time, under the memory limits CI's short runs use, and prints execs and findings per target.
# New corpus entries are kept in build/fuzz/corpus-NAME (the folder CI's runs also start
# from), so each run goes on where the last one stopped; findings go to build/fuzz/findings/NAME.
# A finding is mended, then added to fuzz/corpus/NAME (small) and to a regression test.
# Usage: scripts/fuzz.sh [MINUTES] [TARGET...]   (TARGET as in fuzz/fuzz_TARGET.cpp)
# Environment: FUZZ_JOBS (targets at a time, default 2), FUZZ_NICE (default 19).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
minutes=${1:-5}
shift || true
case $minutes in '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [MINUTES] [TARGET...]" >&2; exit 2 ;; esac
jobs=${FUZZ_JOBS:-2}
niceness=${FUZZ_NICE:-19}
build=$root/build/fuzz

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in fuzz/fuzz_*.cpp; do
    name=${src#fuzz/fuzz_}
    targets+=("${name%.cpp}")
  done
fi
for t in "${targets[@]}"; do
  [ -f "fuzz/fuzz_$t.cpp" ] || { echo "no fuzz target \"$t\"" >&2; exit 2; }
done

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DLAUNCHER_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
fi
nice -n "$niceness" ninja -C "$build" "${targets[@]/#/fuzz_}" >/dev/null || exit 1

logs=$build/fuzz-logs
mkdir -p "$logs"
run_one() {  # run_one NAME
  local t=$1 work=$build/corpus-$1 findings=$build/findings/$1
  mkdir -p "$work" "$findings"
  ls "$work" | wc -l >"$logs/$t.before"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n "$niceness" "$build/fuzz/fuzz_$t" -max_total_time=$((minutes * 60)) \
    -rss_limit_mb=1024 -malloc_limit_mb=512 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "$root/fuzz/corpus/$t" >"$logs/$t.log" 2>&1
  echo $? >"$logs/$t.rc"
}

echo "fuzzing ${#targets[@]} targets for $minutes min each, $jobs at a time (logs in $logs)"
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  run_one "$t" &
  running=$((running + 1))
done
wait

printf '%-14s %12s %10s %9s %s\n' target execs execs/s new findings
total=0
for t in "${targets[@]}"; do
  log=$logs/$t.log
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  added=$(($(ls "$build/corpus-$t" | wc -l) - $(cat "$logs/$t.before")))
  found=$(find "$build/findings/$t" -type f -newer "$logs/$t.before" | wc -l)
  rc=$(cat "$logs/$t.rc")
  # A run that stopped for anything but its time is a finding even without an artifact.
  [ "$rc" -ne 0 ] && [ "$found" -eq 0 ] && found=1
  total=$((total + found))
  printf '%-14s %12s %10s %9s %s\n' "$t" "${execs:-?}" "${rate:-?}" "$added" "$found"
  [ "$found" -gt 0 ] && find "$build/findings/$t" -type f -newer "$logs/$t.before" | sed 's/^/    /'
done
echo "findings: $total"
[ "$total" -eq 0 ]
