#!/usr/bin/env bash
# The main job: builds the launcher (x86_64 Windows build) and the demo beside it, packs the
# demo's layout and pictures into Launcher.dat, and runs it under Wine: in your X display if
# there is one (close the window or press a button to end), otherwise in a private Xvfb.
# Writes a screenshot of the window to docs/demo.png.
#   usage: scripts/demo.sh [--no-run] [--lang LOCALE]
# --lang runs Wine in another locale, so with another system code page (en_US.UTF-8: 1252,
# ko_KR.UTF-8: 949; the default ja_JP.UTF-8 is 932), in a prefix of its own; the screenshot
# is then docs/demo-LANGUAGE_COUNTRY.png (docs/demo-en_US.png).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
run=1 lang=ja_JP.UTF-8
while [ $# -gt 0 ]; do
  case $1 in
    --no-run) run=0 ;;
    --lang) lang=${2:?--lang needs a locale such as en_US.UTF-8}; shift ;;
    *) echo "usage: scripts/demo.sh [--no-run] [--lang LOCALE]" >&2; exit 2 ;;
  esac
  shift
done
if [ "$lang" = ja_JP.UTF-8 ]; then suffix=; else suffix=-${lang%%.*}; fi

bash scripts/setup.sh
echo "== building (native tools, Windows x86_64 launcher)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build/native launcherdat >/dev/null
bash scripts/build-win-deps.sh x86_64 "$root/build/deps"
cmake -S . -B build/win-x86_64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" \
  -DWIN_DEPS_PREFIX="$root/build/deps/x86_64" >/dev/null
ninja -C build/win-x86_64 Launcher demo_game probe >/dev/null

echo "== packing the demo"
out=build/demo
rm -rf "$out" && mkdir -p "$out/data/Launcher" "$out/game"
iconv -f UTF-8 -t CP932 examples/demo/layout.csv >"$out/data/Launcher/Launcher.csv"
bash examples/demo/pictures.sh "$out/data"
tool=build/native/tools/launcherdat/launcherdat
"$tool" create "$out/Launcher.dat" "$out/data"
"$tool" list "$out/Launcher.dat"
cp -r examples/demo/manual "$out/manual"
cp build/win-x86_64/launcher/Launcher.exe "$out/"
cp build/win-x86_64/packaging/game.exe "$out/game/"
"$tool" check "$out/Launcher.dat" || true
rm -rf "$out/data"
echo "demo folder: $out (Launcher.exe, Launcher.dat, game/, manual/)"
[ "$run" = 1 ] || exit 0

echo "== running it under Wine"
source tests/e2e/wine-env.sh
prefix=$root/build/demo-prefix$suffix
shot=docs/demo$suffix.png
own_display=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 || { [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; }; then
  own_display=1
  echo "using your display $DISPLAY"
else
  wine_start_display
  echo "no X display: using Xvfb on $DISPLAY"
fi
trap 'wine_stop' EXIT
if [ ! -f "$prefix/system.reg" ]; then
  echo "making a Wine prefix in $prefix (once, about half a minute)"
  wine_make_prefix "$prefix" "$lang"
fi
wine_env "$prefix" "$lang"
echo "locale $lang"
(cd "$out" && "$WINE64" Launcher.exe >/dev/null 2>&1) &
launcher=$!
probe() { "$WINE64" build/win-x86_64/tests/e2e/probe.exe "$@" 2>/dev/null | tr -d '\r'; }
line=$(probe window 60000 | grep '^window ' || true)
[ -n "$line" ] || { echo "the launcher's window did not appear" >&2; exit 1; }
rect=$(printf '%s\n' "$line" | tr ' ' '\n' | sed -n 's/^rect=//p')
IFS=, read -r left top right bottom <<<"$rect"
sleep 1
desktop=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -1 || true)
mkdir -p docs
import -display "$DISPLAY" -window "${desktop:-root}" build/demo-desktop.png
convert build/demo-desktop.png -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$shot"
echo "screenshot: $shot ($((right - left)) x $((bottom - top)))"
if [ "$own_display" = 1 ]; then
  echo "the launcher is running; close it to end"
  wait "$launcher" || true
else
  "$WINESERVER" -k 2>/dev/null || true
fi
