#!/usr/bin/env bash
# Checks the release ZIP: exactly the expected files under one top folder, and every program in
# it passes the XP checks of check-pe.sh (subsystem, versions, imports).
#   check-package.sh ZIP i686|x86_64 [UNPACK_DIR]   (UNPACK_DIR is kept for later steps)
set -uo pipefail
zip=$1 arch=$2
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$zip" ] || { echo "no package $zip (cmake --build BUILD --target package makes it)"; exit 1; }
if [ -n "${3:-}" ]; then out=$3; rm -rf "$out"; mkdir -p "$out"; else out=$(mktemp -d); trap 'rm -rf "$out"' EXIT; fi
python3 -m zipfile -e "$zip" "$out" || { echo "cannot unpack $zip"; exit 1; }
top=$(basename "$zip" .zip)
[ -d "$out/$top" ] || { echo "the package has no top folder $top"; exit 1; }
expected="Launcher.exe
demo/Launcher.dat
demo/Launcher.exe
demo/data/Launcher/Launcher.csv
demo/data/pictures/background.bmp
demo/data/pictures/title.bmp
demo/game/game.exe
demo/manual/index.html
guide-en.html
guide-ja.html
imagetool.exe
launcherdat.exe"
actual=$(cd "$out" && find . -type f | sed "s|^\./||" | sort)
problems=0
if [ "$actual" != "$(printf '%s\n' "$expected" | sed "s|^|$top/|" | sort)" ]; then
  echo "the package's files differ from the expected list:"
  diff <(printf '%s\n' "$expected" | sed "s|^|$top/|" | sort) <(printf '%s\n' "$actual") | sed 's/^/  /'
  problems=1
fi
for exe in Launcher.exe:gui demo/Launcher.exe:gui demo/game/game.exe:gui launcherdat.exe:console imagetool.exe:console; do
  LC_ALL=C bash "$here/check-pe.sh" "$out/$top/${exe%:*}" "$arch" "${exe#*:}" || problems=1
done
cmp -s "$out/$top/Launcher.exe" "$out/$top/demo/Launcher.exe" || { echo "demo/Launcher.exe is not Launcher.exe"; problems=1; }
grep -q 'ゲーム制作者' "$out/$top/guide-ja.html" || { echo "guide-ja.html is not the Japanese guide"; problems=1; }
[ "$problems" -eq 0 ] && echo "$top.zip: $(printf '%s\n' "$actual" | wc -l) files as expected"
exit "$problems"
