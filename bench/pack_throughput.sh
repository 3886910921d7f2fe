#!/usr/bin/env bash
# Packing speed of launcherdat against cat on the same files: 1 GiB in 256 files of 4 MiB,
# read from the page cache, written (a) to the disk holding the files and (b) to memory
# (/dev/shm), so the tool's own cost shows apart from the disk's. Best of 3 rounds each.
# Usage: bench/pack_throughput.sh TOOL
set -euo pipefail
tool=$1
work=$(mktemp -d)
shm=$(mktemp -d /dev/shm/pack-XXXXXX)
trap 'rm -rf "$work" "$shm"' EXIT
mkdir -p "$work/src"
for i in $(seq 0 255); do head -c 4194304 /dev/urandom > "$work/src/f$i.bin"; done
cat "$work"/src/*.bin > /dev/null
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
best() {  # best OUTFILE COMMAND...: the shortest of three runs, removing the output each time
  local out=$1 t min=999; shift
  for _ in 1 2 3; do
    t=$(seconds "$@"); rm -f "$out"; sync
    min=$(echo "if ($t < $min) $t else $min" | bc -l)
  done
  echo "$min"
}
for target in "$work" "$shm"; do
  c=$(best "$target/cat.out" sh -c "cat '$work'/src/*.bin > '$target/cat.out'")
  s=$(best "$target/s.dat" "$tool" create "$target/s.dat" "$work/src")
  p=$(best "$target/p.dat" "$tool" create "$target/p.dat" "$work/src" --no-scramble)
  printf '%-10s cat %5.0f MB/s | launcherdat scrambled %5.0f MB/s (%.2f x cat) | unscrambled %5.0f MB/s (%.2f x cat)\n' \
    "$([ "$target" = "$shm" ] && echo memory || echo disk)" "$(echo "1024/$c" | bc -l)" \
    "$(echo "1024/$s" | bc -l)" "$(echo "$c/$s" | bc -l)" "$(echo "1024/$p" | bc -l)" "$(echo "$c/$p" | bc -l)"
done
