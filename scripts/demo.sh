#!/usr/bin/env bash
# The main job: builds the tools, packs the example folder into Launcher.dat and lists it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build/native launcherdat >/dev/null
out=build/demo
rm -rf "$out" && mkdir -p "$out/data"
cp -r examples/demo/data/. "$out/data/"
# The example's pictures are drawn at build time.
mkdir -p "$out/data/pictures"
convert -size 640x400 gradient:'#1b2a49-#6b4f8f' -fill '#ffffff30' -draw 'circle 520,90 600,90' \
  BMP3:"$out/data/pictures/background.bmp"
tool=build/native/tools/launcherdat/launcherdat
"$tool" create "$out/Launcher.dat" "$out/data"
echo "== $out/Launcher.dat"
"$tool" list "$out/Launcher.dat"
echo "== check"
"$tool" check "$out/Launcher.dat" || true
