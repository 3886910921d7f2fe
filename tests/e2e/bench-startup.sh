#!/usr/bin/env bash
# Start-up benchmark under Wine: milliseconds from CreateProcess to the launcher's window
# being visible, for the demo layout and for a layout of 8 full-window 1280 x 720 pictures,
# at 96 and 120 DPI; and the picture path's phases (read, decode, resize, copy) timed on
# the same files by startup_phases; then the relayout of the eight pictures on a DPI change:
# WM_DPICHANGED sent inside the launcher (font_hook), timed to the end of the repaint.
#   usage: bench-startup.sh BUILD_DIR [RUNS] [dpi]    (dpi: the DPI change only)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project=$(dirname "$(dirname "$here")")
build=$(cd "$1" && pwd)
runs=${2:-7}
only=${3:-}
source "$here/wine-env.sh"
prefix=$build/tests/e2e/bench-prefix
if [ ! -f "$prefix/system.reg" ]; then
  wine_start_display
  wine_make_prefix "$prefix"
  wine_env "$prefix"
  wine_reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1920x1080 /f
  wine_stop
fi
wine_env "$prefix"
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
XVFB_PID=$!
read -r number <"$fifo"
rm -f "$fifo"
export DISPLAY=":$number"
trap 'wine_stop' EXIT

make_app() {  # make_app NAME: an app folder with Launcher.exe; data staged in $app/data
  app=$prefix/drive_c/bench/$1
  rm -rf "$app" && mkdir -p "$app/data/Launcher" "$app/data/pictures"
  cp "$build/launcher/Launcher.exe" "$app/"
  cp "$build/tests/e2e/startup_phases.exe" "$build/tests/e2e/font_hook.dll" "$app/"
}
pack() { python3 "$here/make_dat.py" "$app/Launcher.dat" "$app/data" && rm -rf "$app/data"; }

make_app demo
iconv -f UTF-8 -t CP932 "$project/examples/demo/layout.csv" >"$app/data/Launcher/Launcher.csv"
bash "$project/examples/demo/pictures.sh" "$app/data"
pack

make_app eight
{ echo "Launcher,1280,720"; for i in 0 1 2 3 4 5 6 7; do echo "img,pictures/p$i.bmp,0,0"; done
  echo "btn,Quit,1180,680,,1"; } >"$app/data/Launcher/Launcher.csv"
for i in 0 1 2 3 4 5 6 7; do
  convert -size 1280x720 "plasma:fractal" -seed "$i" -type TrueColor BMP3:"$app/data/pictures/p$i.bmp" 2>/dev/null ||
    convert -size 1280x720 "gradient:#$((i + 1))0$((i + 2))0a0-#f0c0$((i))0" -type TrueColor BMP3:"$app/data/pictures/p$i.bmp"
done
pack

for dpi in 96 120; do
  [ "$only" = dpi ] && break
  wine_set_dpi "$dpi"
  for name in demo eight; do
    dir="C:\\bench\\$name"
    echo "== $name at $dpi DPI"
    "$WINE64" "$build/tests/e2e/probe.exe" launch-time "$dir" 1 >/dev/null 2>&1 || true  # warm
    "$WINE64" "$build/tests/e2e/probe.exe" launch-time "$dir" "$runs" 2>/dev/null | tr -d '\r' | tail -1
    (cd "$prefix/drive_c/bench/$name" && "$WINE64" startup_phases.exe "$runs" 2>/dev/null | tr -d '\r')
  done
done
wine_set_dpi 96

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }  # of one number a line
echo "== eight: DPI change to the repaint, from 96 DPI: to 144, 120, 96 (medians of $runs)"
(cd "$prefix/drive_c/bench/eight" && "$WINE64" Launcher.exe >/dev/null 2>&1) &
launcher_pid=$!
hook='C:\bench\eight\font_hook.dll'
"$WINE64" "$build/tests/e2e/probe.exe" window 30000 >/dev/null 2>&1
for ((run = 0; run < runs; run++)); do
  for dpi in 144 120 96; do
    "$WINE64" "$build/tests/e2e/probe.exe" dpi "$hook" "$dpi" 0 0 2>/dev/null | tr -d '\r' |
      sed -n "s/^dpichange dpi=$dpi ms=\([^ ]*\) relayout=\([^ ]*\) cpu=\(.*\)/\1 \2 \3/p" >>"$prefix/dpi-$dpi.times"
  done
done
for dpi in 144 120 96; do
  echo "to $dpi DPI: $(cut -d' ' -f1 "$prefix/dpi-$dpi.times" | median) ms to the repaint," \
    "$(cut -d' ' -f2 "$prefix/dpi-$dpi.times" | median) ms of it in WM_DPICHANGED;" \
    "launcher thread CPU $(awk '{ s += $3 } END { printf "%.1f", s / NR }' "$prefix/dpi-$dpi.times") ms (mean)"
  rm -f "$prefix/dpi-$dpi.times"
done
"$WINE64" "$build/tests/e2e/probe.exe" click Quit >/dev/null 2>&1
wait "$launcher_pid"
