#!/usr/bin/env bash
# Packing speed of launcherdat against cat on the same files: 1 GiB in 256 files of 4 MiB,
# read from the page cache and written to the same disk. Usage: bench/pack_throughput.sh TOOL [DIR]
set -euo pipefail
tool=$1
work=${2:-$(mktemp -d)}
mkdir -p "$work/src"
trap 'rm -rf "$work"' EXIT
for i in $(seq 0 255); do head -c 4194304 /dev/urandom > "$work/src/f$i.bin"; done
cat "$work"/src/*.bin > /dev/null  # warm the page cache
mb=1024
time_it() { local s e; s=$(date +%s.%N); "$@"; sync; e=$(date +%s.%N); echo "$e - $s" | bc; }
for round in 1 2 3; do
  t_cat=$(time_it sh -c "cat '$work'/src/*.bin > '$work/cat.out'")
  rm -f "$work/cat.out"
  t_pack=$(time_it "$tool" create "$work/out.dat" "$work/src")
  t_plain=$(time_it "$tool" create "$work/plain.dat" "$work/src" --no-scramble)
  rm -f "$work/out.dat" "$work/plain.dat"
  printf 'round %d: cat %.0f MB/s, launcherdat scrambled %.0f MB/s (%.2f of cat), unscrambled %.0f MB/s (%.2f of cat)\n' \
    "$round" "$(echo "$mb / $t_cat" | bc -l)" "$(echo "$mb / $t_pack" | bc -l)" "$(echo "$t_cat / $t_pack" | bc -l)" \
    "$(echo "$mb / $t_plain" | bc -l)" "$(echo "$t_cat / $t_plain" | bc -l)"
done
