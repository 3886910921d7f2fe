#!/usr/bin/env bash
# Batch conversion speed: a folder of 200 PNG pictures (512 x 384, plasma fractals, every
# second one with an alpha channel) to TLG6 with imagetool -j 1 and -j 2, against ImageMagick's
# mogrify writing the same folder as PNG at zlib level 9. Prints files per second, the ratio
# of the peer's time to ours (above 1: ours is faster) and the bytes written.
# Usage: bench/bench_batch_convert.sh IMAGETOOL [WORKDIR] [COUNT]
set -euo pipefail
tool=$1
work=${2:-$(mktemp -d)}
count=${3:-200}
command -v mogrify >/dev/null || { echo "ImageMagick (mogrify) not found" >&2; exit 1; }
mkdir -p "$work/src"
trap 'rm -rf "$work/out-j1" "$work/out-j2" "$work/out-magick"' EXIT
if [ "$(ls "$work/src" | wc -l)" -ne "$count" ]; then
  rm -f "$work"/src/*.png
  # Eight seeds' fractals, each turned, mirrored and tinted into different pictures.
  for s in $(seq 0 7); do convert -seed $((s + 1)) -size 512x384 plasma:fractal -blur 0x0.8 -depth 8 "$work/base$s.png"; done
  for i in $(seq 0 $((count - 1))); do
    base="$work/base$((i % 8)).png" out=$(printf '%s/src/p%03d.png' "$work" "$i")
    ops=(-modulate 100,$((80 + i % 40)),$((i * 7 % 200)))
    [ $((i / 8 % 2)) -eq 1 ] && ops+=(-flop)
    [ $((i / 16 % 2)) -eq 1 ] && ops+=(-flip)
    if [ $((i % 2)) -eq 1 ]; then
      convert "$base" "${ops[@]}" \( -size 512x384 radial-gradient:white-black \) -alpha off -compose CopyOpacity -composite -depth 8 "$out"
    else
      convert "$base" "${ops[@]}" -alpha off -depth 8 "$out"
    fi
  done
  rm -f "$work"/base*.png
fi
cat "$work"/src/*.png > /dev/null  # warm the page cache
bytes_in=$(cat "$work"/src/*.png | wc -c)

seconds() { local s e; s=$(date +%s.%N); "$@" > /dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
best() { local b=""; for t in "$@"; do if [ -z "$b" ] || (( $(echo "$t < $b" | bc -l) )); then b=$t; fi; done; echo "$b"; }
run_ours() { rm -rf "$work/out-j$1"; "$tool" convert --to tlg6 -j "$1" "$work/src" "$work/out-j$1"; }
run_peer() { rm -rf "$work/out-magick"; mkdir -p "$work/out-magick";
  mogrify -path "$work/out-magick" -format png -define png:compression-level=9 "$work"/src/*.png; }

t1=() t2=() tm=()
for round in 1 2 3; do
  t1+=("$(seconds run_ours 1)")
  t2+=("$(seconds run_ours 2)")
  tm+=("$(seconds run_peer)")
done
b1=$(best "${t1[@]}") b2=$(best "${t2[@]}") bm=$(best "${tm[@]}")
out1=$(cat "$work"/out-j1/*.tlg | wc -c) outm=$(cat "$work"/out-magick/*.png | wc -c)
printf '%d PNG files, %.1f MB in (best of 3 rounds)\n' "$count" "$(echo "$bytes_in / 1000000" | bc -l)"
printf '%-36s %8.2f s %8.1f files/s %8.1f MB out\n' "imagetool --to tlg6 -j 1" "$b1" "$(echo "$count / $b1" | bc -l)" \
  "$(echo "$out1 / 1000000" | bc -l)"
printf '%-36s %8.2f s %8.1f files/s\n' "imagetool --to tlg6 -j 2" "$b2" "$(echo "$count / $b2" | bc -l)"
printf '%-36s %8.2f s %8.1f files/s %8.1f MB out\n' "mogrify -format png, zlib level 9" "$bm" "$(echo "$count / $bm" | bc -l)" \
  "$(echo "$outm / 1000000" | bc -l)"
printf 'peer time / our time: -j 1 %.2f, -j 2 %.2f\n' "$(echo "$bm / $b1" | bc -l)" "$(echo "$bm / $b2" | bc -l)"
