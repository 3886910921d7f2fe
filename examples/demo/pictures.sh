#!/usr/bin/env bash
# Draws the demo's pictures (24-bit BMP) into OUT/pictures:
#   background.bmp  640 x 400, the whole window: a night sky over hills
#   title.bmp       360 x 96 at (32, 36): the title drawn over the same part of the sky
# usage: pictures.sh OUT
set -euo pipefail
out=$1/pictures
mkdir -p "$out"
font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 640x400 gradient:'#0b1633-#3d2a5c' \
  -fill '#ffffff' -draw 'point 90,150 point 210,60 point 300,120 point 400,30 point 470,90 point 600,140 point 560,40 point 140,30 point 360,180 point 250,200' \
  -fill '#ffffffb0' -draw 'circle 520,80 524,80 circle 60,90 62,90 circle 330,70 332,70 circle 610,200 612,200' \
  -fill '#fff4c8' -draw 'circle 540,110 572,110' -fill '#171b3d' -draw 'circle 556,100 584,100' \
  -fill '#1d2f4a' -draw 'ellipse 120,420 360,150 180,360' -fill '#16243a' -draw 'ellipse 520,430 330,140 180,360' \
  -fill '#ffd36e' -draw 'rectangle 150,312 156,320 rectangle 166,312 172,320 rectangle 470,330 476,338' \
  "$tmp/bg.png"
convert "$tmp/bg.png" -crop 360x96+32+36 +repage \
  -font "$font" -pointsize 46 -fill '#00000080' -annotate +14+62 '星の旅路' \
  -fill '#fff4c8' -annotate +10+58 '星の旅路' \
  -pointsize 15 -fill '#c8d4ff' -annotate +214+58 'Journey of Stars' \
  "$tmp/title.png"
convert "$tmp/bg.png" -type TrueColor BMP3:"$out/background.bmp"
convert "$tmp/title.png" -type TrueColor BMP3:"$out/title.bmp"
