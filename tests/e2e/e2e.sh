#!/usr/bin/env bash
# One end-to-end case of the launcher under Wine (see CMakeLists.txt).
#   e2e.sh WORK LAUNCHER.exe PROBE.exe GAME.exe FONT_HOOK.dll CASE [LANG]
# WORK holds one shared prefix per locale (made by the case "prefix"); LANG (default
# ja_JP.UTF-8, code page 932) picks it. Each case builds its program folder under the
# prefix's C:\e2e\CASE, starts its own Xvfb and ends its wineserver. Every text the probe and
# the stand-in game report is UTF-8, so the expected values are the same in every locale.
set -uo pipefail
work=$1 launcher=$2 probe_exe=$3 game=$4 font_hook=$5 case=$6 lang=${7:-ja_JP.UTF-8}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
reference_lang=ja_JP.UTF-8
if [ "$lang" = "$reference_lang" ]; then prefix=$work/prefix; else prefix=$work/prefix-${lang%%.*}; fi
tag=$case-${lang%%.*}  # names of this run's files in WORK
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() {  # expect_eq WHAT ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then echo "ok: $1"; else fail "$1: got '$2', expected '$3'"; fi
}
text_hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }  # as the probe reports texts
probe() { "$WINE64" "$probe_exe" "$@" 2>/dev/null | tr -d '\r'; }
field() {  # field LINE KEY: the value of KEY=VALUE in a probe line
  printf '%s\n' "$1" | tr ' ' '\n' | sed -n "s/^$2=//p" | head -1
}

if [ "$case" = prefix ]; then
  wine_start_display
  wine_make_prefix "$prefix" "$lang"
  status=$?
  wine_stop
  exit $status
fi
[ -d "$prefix" ] || { echo "no prefix for $lang (the e2e_prefix tests make it)"; exit 1; }
wine_env "$prefix" "$lang"
wine_start_display
trap 'wine_stop' EXIT

app_name=$case
[ "$case" = sjis_directory ] && app_name="ソフト"  # 0x83 0x5C: a second byte that is a backslash
[ "$case" = wide_directory ] && app_name="게임 é 😀"  # no code page 932 form at all
app=$prefix/drive_c/e2e/$app_name
app_win="C:/e2e/$app_name/"
rm -rf "$app" && mkdir -p "$app/data/Launcher" "$app/data/pictures" "$app/game"
cp "$launcher" "$app/Launcher.exe"
cp "$game" "$app/game/game.exe"
cp "$font_hook" "$app/font_hook.dll"

layout() { printf '%s\n' "$@" | iconv -f UTF-8 -t CP932 >"$app/data/Launcher/Launcher.csv"; }
picture() {  # picture NAME WIDTH HEIGHT COLOURS: a 24-bit BMP with a pattern
  convert -size "$2x$3" "gradient:$4" -fill '#ffffff' -draw "circle $(($2 / 3)),$(($3 / 2)) $(($2 / 3 + $3 / 4)),$(($3 / 2))" \
    -fill '#102030' -draw "rectangle 2,2 $(($2 / 4)),$(($3 / 5))" -type TrueColor BMP3:"$app/data/pictures/$1"
}
pack() { python3 "$here/make_dat.py" "$app/Launcher.dat" "$app/data" && rm -rf "$app/data"; }
plain() { cp -r "$app/data/." "$app/" && rm -rf "$app/data"; }

# Each start records its exit code in a file of its own; exit_code reads the latest one.
runs=0 exit_file=
start() {
  runs=$((runs + 1))
  exit_file=$work/$tag-exit-$runs
  rm -f "$exit_file"
  (cd "$app" && "$WINE64" Launcher.exe >/dev/null 2>&1; echo $? >"$exit_file.tmp" && mv "$exit_file.tmp" "$exit_file") &
}
exit_code() {  # waits (up to $1 s) for the latest start to end; prints its exit code or "running"
  for ((i = 0; i < $1 * 10; i++)); do
    if [ -f "$exit_file" ]; then cat "$exit_file"; return; fi
    sleep 0.1
  done
  echo running
}

# The window report: sets win_* and child lines.
report=
read_window() {
  report=$(probe window 30000)
  win_line=$(printf '%s\n' "$report" | grep '^window ')
  mon_line=$(printf '%s\n' "$report" | grep '^monitor ')
}
children_of() { printf '%s\n' "$report" | grep "^child class=$1 " | sed 's/.* rect=//'; }

check_window() {  # check_window CLIENT_W CLIENT_H [LEFT,TOP]: centred, or at LEFT,TOP
  local code_page
  case $lang in ja_JP.*) code_page=932 ;; en_US.*) code_page=1252 ;; ko_KR.*) code_page=949 ;; *) code_page=? ;; esac
  expect_eq "system code page of $lang" "$(probe acp)" "$code_page"
  expect_eq "window class" "$(field "$win_line" class)" Launcher
  expect_eq "window title" "$(field "$win_line" title)" "$(text_hex Launcher)"
  # Caption, system menu, minimise box; visible; the system adds WS_CLIPSIBLINGS to
  # every top-level window.
  expect_eq "window style" "$(field "$win_line" style)" 14CA0000
  expect_eq "client size" "$(field "$win_line" client)" "$1,$2"
  local frame caption fx fy W H ml mt mr mb x y
  frame=$(field "$mon_line" frame) caption=$(field "$mon_line" caption)
  fx=${frame%,*} fy=${frame#*,}
  W=$(($1 + 2 * fx)) H=$(($2 + 2 * fy + caption))
  if [ -n "${3:-}" ]; then
    x=${3%,*} y=${3#*,}
    expect_eq "outer rectangle at the suggested place" "$(field "$win_line" rect)" "$x,$y,$((x + W)),$((y + H))"
    return
  fi
  IFS=, read -r ml mt mr mb <<<"$(field "$mon_line" rect)"
  x=$((ml + ((mr - ml - W) >> 1))) y=$((mt + ((mb - mt - H) >> 1)))
  expect_eq "outer rectangle centred on the monitor" "$(field "$win_line" rect)" "$x,$y,$((x + W)),$((y + H))"
}

# check_box TEXT: the next box has exactly TEXT (read back in UTF-16) and, when the main
# window is shown, is centred on it (within a pixel).
check_box() {
  local line
  line=$(probe box 20000)
  if [ -z "$line" ]; then  # the probe itself didn't run (Wine busy starting a process): once more
    echo "note: the box probe printed nothing; asking again"
    line=$(probe box 20000)
  fi
  expect_eq "box text" "$(field "$line" text)" "$(text_hex "$1")"
  [ "${2:-}" = centred ] || return 0
  local main bl bt br bb ml mt mr mb
  main=$(probe window 2000 | grep '^window ')
  IFS=, read -r ml mt mr mb <<<"$(field "$main" rect)"
  IFS=, read -r bl bt br bb <<<"$(field "$line" rect)"
  local ex=$((ml + (mr - ml - (br - bl)) / 2)) ey=$((mt + (mb - mt - (bb - bt)) / 2))
  if [ $((bl - ex)) -ge -1 ] && [ $((bl - ex)) -le 1 ] && [ $((bt - ey)) -ge -1 ] && [ $((bt - ey)) -le 1 ]; then
    echo "ok: box centred on the main window"
  else
    fail "box at $bl,$bt, expected about $ex,$ey"
  fi
}

# check_panel_pixels PICTURE SCALE LEFT,TOP [WIDTH]: the screenshot at the panel's device place
# equals the picture decoded and resized as the launcher does it.
check_panel_pixels() {
  local shot=$work/$tag-shot.png origin ox oy size
  sleep 1
  import -display "$DISPLAY" -window root "$shot"
  origin=$(field "$win_line" origin)
  ox=${origin%,*} oy=${origin#*,}
  size=$(probe expect "$app_pictures/$1" "$2" "$2" "$work/$tag-expect.bgra") || { fail "expect $1"; return; }
  local w=${size% *} h=${size#* } left=${3%,*} top=${3#*,}
  convert -size "${w}x${h}" -depth 8 "bgra:$work/$tag-expect.bgra" -alpha off "$work/$tag-expect.png"
  w=${4:-$w}  # only the left w columns (the rest covered by another panel)
  convert "$work/$tag-expect.png" -crop "${w}x${h}+0+0" +repage "$work/$tag-expect.png"
  convert "$shot" -crop "${w}x${h}+$((ox + left))+$((oy + top))" +repage -alpha off "$work/$tag-crop.png"
  local diff
  diff=$(compare -metric AE "$work/$tag-expect.png" "$work/$tag-crop.png" null: 2>&1)
  expect_eq "panel $1 pixels differing" "$diff" 0
}

# check_client_pixels NAME: the client area of the last screenshot, kept as NAME for this
# locale; in any other locale than the reference one it must equal the reference's.
check_client_pixels() {
  local client origin ox oy mine=$work/client-$1-${lang%%.*}.png reference=$work/client-$1-${reference_lang%%.*}.png
  client=$(field "$win_line" client) origin=$(field "$win_line" origin)
  ox=${origin%,*} oy=${origin#*,}
  convert "$work/$tag-shot.png" -crop "${client%,*}x${client#*,}+$ox+$oy" +repage -alpha off "$mine"
  [ "$lang" = "$reference_lang" ] && return 0
  if [ ! -f "$reference" ]; then fail "no $reference_lang client area to compare with"; return; fi
  expect_eq "client area pixels differing from $reference_lang" \
    "$(compare -metric AE "$reference" "$mine" null: 2>&1)" 0
}

started() { [ -f "$app/game/started.txt" ]; }
wait_started() { for ((i = 0; i < 100; i++)); do started && return 0; sleep 0.1; done; return 1; }

app_pictures=$work/$tag-pictures

# The window cases' program: two pictures and three buttons on a 640 x 480 client.
window_app() {
  picture back.bmp 300 200 '#203060-#c08040'
  picture title.bmp 240 60 '#f0e0a0-#604020'
  layout "Launcher,640,480" "img,pictures/back.bmp,10,10" "img,pictures/title.bmp,330,10" \
    "btn,Start,460|150,300,game/game.exe -window,0" "btn,ソフト説明,460|150|9,340|20,manual.txt,0" "btn,Quit,460,380,,1"
  rm -rf "$app_pictures" && cp -r "$app/data/pictures" "$app_pictures"
  pack
}
scale_of() { python3 -c "print($1/96)"; }        # scale_of DPI
sc() { python3 -c "print(int($2*$1/96+0.5))"; }  # sc DPI V: V in device pixels at DPI

# check_controls DPI: the window_app controls as a start at DPI makes them (read_window first).
check_controls() {
  local d=$1 s
  s=$(scale_of "$d")
  expect_eq "panels" "$(children_of Static | tr '\n' ' ')" \
    "$(sc $d 10),$(sc $d 10),$(($(sc $d 10) + $(sc $d 300))),$(($(sc $d 10) + $(sc $d 200))) $(sc $d 330),$(sc $d 10),$(($(sc $d 330) + $(sc $d 240))),$(($(sc $d 10) + $(sc $d 60))) "
  expect_eq "buttons" "$(children_of Button | tr '\n' ' ')" \
    "$(sc $d 460),$(sc $d 300),$(($(sc $d 460) + $(sc $d 150))),$(($(sc $d 300) + $(sc $d 20))) $(sc $d 460),$(sc $d 340),$(($(sc $d 460) + $(sc $d 150))),$(($(sc $d 340) + $(sc $d 20))) $(sc $d 460),$(sc $d 380),$(($(sc $d 460) + $(sc $d 80))),$(($(sc $d 380) + $(sc $d 20))) "
  expect_eq "captions" "$(printf '%s\n' "$report" | grep '^child class=Button' | sed 's/.* text=\([^ ]*\).*/\1/' | tr '\n' ' ')" \
    "$(text_hex Start) $(text_hex ソフト説明) $(text_hex Quit) "
  expect_eq "child styles" "$(printf '%s\n' "$report" | grep '^child' | sed 's/.* style=\([^ ]*\).*/\1/' | sort -u | tr '\n' ' ')" \
    "50000000 "
  # The buttons' font, read inside the launcher's process (panels answer WM_GETFONT through
  # the main window's procedure, so they report none).
  expect_eq "button fonts" "$(probe fonts "C:\\e2e\\$case\\font_hook.dll" | grep '^child class=Button' | sed 's/^child class=Button //' | sort -u)" \
    "font=1 height=$(sc $d 12) width=0 weight=400 charset=128 pitch=1 face=$(text_hex 'ＭＳ ゴシック')"
  check_panel_pixels back.bmp "$s" "$(sc $d 10),$(sc $d 10)"
  check_panel_pixels title.bmp "$s" "$(sc $d 330),$(sc $d 10)"
}

# client_shot OUT: the main window's client area from the screen (read_window first).
client_shot() {
  local origin client
  sleep 1
  import -display "$DISPLAY" -window root "$work/$case-root.png"
  origin=$(field "$win_line" origin) client=$(field "$win_line" client)
  convert "$work/$case-root.png" -crop "${client%,*}x${client#*,}+${origin%,*}+${origin#*,}" +repage -alpha off "$1"
}

case_window() {  # case_window DPI
  local dpi=$1
  [ "$dpi" = 96 ] || wine_set_dpi "$dpi"
  window_app
  start
  read_window
  check_window "$(sc $dpi 640)" "$(sc $dpi 480)"
  check_controls "$dpi"
  check_client_pixels "window_$dpi"
  # A box over the panels, then closed: the panels are repainted from their bitmaps.
  probe click "$(printf 'ソフト説明')" >/dev/null
  check_box "${app_win}manual.txt が存在しません。
再インストールを行って下さい。" centred
  check_panel_pixels back.bmp "$(scale_of $dpi)" "$(sc $dpi 10),$(sc $dpi 10)"
  probe click Quit >/dev/null
  expect_eq "Quit ends the launcher with 0" "$(exit_code 15)" 0
  [ "$dpi" = 96 ] || wine_set_dpi 96
}

# The game's record (UTF-8): its program, parameters and current directory.
game_record() { tr -d '\r' <"$app/game/started.txt"; }
record_program() { printf '%s\n' "$1" | sed -n 's/^cmdline=//p' | sed 's/"\{0,1\}\(.*game\.exe\)"\{0,1\}.*/\1/'; }
record_args() { printf '%s\n' "$1" | grep '^arg[0-9]' | tr '\n' ' '; }
record_cwd() { printf '%s\n' "$1" | sed -n 's/^cwd=//p'; }

# Started at 96 DPI, then told from inside its process that the DPI is 144 and later 120:
# each time the window moves to the suggested place and its client area equals, pixel for
# pixel, the one of a fresh start at that DPI. Buttons work and boxes are centred afterwards.
case_dpi_change() {
  local d at line
  window_app
  for d in 144 120; do
    wine_set_dpi "$d"
    start
    read_window
    client_shot "$work/$case-fresh-$d.png"
    probe click Quit >/dev/null
    expect_eq "fresh start at $d DPI ends with 0" "$(exit_code 15)" 0
  done
  wine_set_dpi 96
  start
  read_window
  check_window 640 480
  for d in 144 120; do
    at=$([ "$d" = 144 ] && echo 20,4 || echo 60,40)
    line=$(probe dpi "C:\\e2e\\$case\\font_hook.dll" "$d" "${at%,*}" "${at#*,}")
    echo "$line"
    expect_eq "change to $d DPI handled" "$(printf '%s\n' "$line" | grep -c "^dpichange dpi=$d ms=")" 1
    read_window
    check_window "$(sc $d 640)" "$(sc $d 480)" "$at"
    check_controls "$d"
    client_shot "$work/$case-changed-$d.png"
    expect_eq "client area at $d DPI: pixels differing from a fresh start" \
      "$(compare -metric AE "$work/$case-fresh-$d.png" "$work/$case-changed-$d.png" null: 2>&1)" 0
  done
  probe click "$(printf 'ソフト説明')" >/dev/null
  check_box "${app_win}manual.txt が存在しません。
再インストールを行って下さい。" centred
  probe click Start >/dev/null
  if wait_started; then
    expect_eq "Start after the changes: parameters" "$(tr -d '\r' <"$app/game/started.txt" | grep '^arg[0-9]' | tr '\n' ' ')" "arg1=-window "
  else
    fail "Start did not start the game after the DPI changes"
  fi
  probe click Quit >/dev/null
  expect_eq "Quit ends the launcher with 0" "$(exit_code 15)" 0
}

# The Windows tools (cases tools_* and package_demo): the Linux tools of the native build are
# the reference. Each Windows run happens in the case's folder, so paths are relative (Wine maps
# the folder to C:); its output goes to files.
native_tool() { printf '%s' "$NATIVE_BUILD/tools/$1/$1"; }
need_native() {
  local t
  for t in "$@"; do
    [ -x "$NATIVE_BUILD/$t" ] || { echo "no $NATIVE_BUILD/$t (build the native tree first)"; exit 1; }
  done
}
wine_wrapper() {  # wine_wrapper NAME EXE: a program that runs EXE under Wine, for the Linux tests
  local w=$work/$case-bin/$1
  mkdir -p "$(dirname "$w")"
  printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$WINE64" "$2" >"$w"
  chmod +x "$w"
  printf '%s' "$w"
}
out_file=$work/$case-out.txt err_file=$work/$case-err.txt
win_run() {  # win_run EXE ARGS...: status of the run; output in $out_file and $err_file
  (cd "$app" && "$WINE64" "$@" </dev/null >"$out_file" 2>"$err_file")
}
expect_same_file() {  # expect_same_file WHAT A B
  if cmp -s "$2" "$3"; then echo "ok: $1"; else fail "$1: $2 and $3 differ"; fi
}

if [[ $case == tools_* ]]; then
  # The wineserver this case started: let its first program start (and any prefix update end)
  # before the runs that are checked.
  for _ in 1 2 3; do "$WINE64" "$LAUNCHERDAT_EXE" --version >/dev/null 2>&1 && break; sleep 1; done
fi

case "$case" in
  tools_cli)
    TOOL_UNDER_WINE=1 bash "$here/../tools/launcherdat_cli_test.sh" "$(wine_wrapper launcherdat "$LAUNCHERDAT_EXE")" ||
      fail "launcherdat's command-line cases on launcherdat.exe"
    ;;
  tools_imagetool_cases)
    need_native tests/tools/imagetool/imagetool_test
    wrapper=$(wine_wrapper imagetool "$IMAGETOOL_EXE")
    for t in imagetool_test imagetool_convert_test imagetool_ops_test; do
      if IMAGETOOL=$wrapper "$NATIVE_BUILD/tests/tools/imagetool/$t" >"$work/$case-$t.log" 2>&1; then
        echo "ok: $t on imagetool.exe ($(grep -c '^\[       OK' "$work/$case-$t.log") cases)"
      else
        grep -B5 '^\[  FAILED' "$work/$case-$t.log" | head -60
        fail "$t on imagetool.exe"
      fi
    done
    ;;
  tools_names)
    need_native tools/launcherdat/launcherdat
    native=$(native_tool launcherdat)
    folder="ゲーム 게임 🎮"  # Korean and an emoji: outside code page 932, in the folder's name only
    src=$app/$folder
    picture 背景.bmp 200 120 '#305070-#a0c0e0'
    layout "Launcher,320,200" "img,pictures/背景.bmp,0,0" "btn,終了,230,170,,1"
    rm -rf "$app_pictures" && cp -r "$app/data/pictures" "$app_pictures"
    mv "$app/data" "$src"
    # A drop: Explorer passes the folder's full path as the only argument.
    win_run "$LAUNCHERDAT_EXE" "C:\\e2e\\$case\\$folder"
    expect_eq "drop exit status" "$?" 0
    "$native" create "$work/$case-linux.dat" "$src"
    expect_same_file "dropped folder packed as the Linux tool packs it" "$app/Launcher.dat" "$work/$case-linux.dat"
    expect_eq "drop ran check" "$(grep -c 'No problems found' "$out_file")" 1
    win_run "$LAUNCHERDAT_EXE" "C:\\e2e\\$case\\Launcher.dat"
    expect_eq "a dropped Launcher.dat is checked" "$?:$(grep -c 'No problems found' "$out_file")" 0:1
    start
    read_window
    check_window 320 200
    check_panel_pixels 背景.bmp 1 0,0
    probe click 終了 >/dev/null
    expect_eq "the launcher read it and quit with 0" "$(exit_code 15)" 0
    # create, list, check and extract agree with the Linux tool.
    printf 'Launcher,320,200\nimg,pictures/背景.bmp,0,0\nbtn,終了,80px,170,,1\nimg,pictures/ない.bmp,0,0\n' |
      iconv -f UTF-8 -t CP932 >"$src/Launcher/Launcher.csv"
    win_run "$LAUNCHERDAT_EXE" create out.dat "$folder" --verbose
    expect_eq "create exit status" "$?" 0
    "$native" create "$work/$case-linux2.dat" "$src" --verbose >"$work/$case-linux-out.txt"
    expect_same_file "create gives the Linux tool's bytes" "$app/out.dat" "$work/$case-linux2.dat"
    expect_same_file "create --verbose prints what the Linux tool prints" "$out_file" "$work/$case-linux-out.txt"
    win_run "$LAUNCHERDAT_EXE" list out.dat --names "$folder"
    "$native" list "$work/$case-linux2.dat" --names "$src" >"$work/$case-linux-out.txt"
    expect_same_file "list agrees" "$out_file" "$work/$case-linux-out.txt"
    expect_eq "list names the picture" "$(grep -c $'\tpictures/背景.bmp$' "$out_file")" 1
    win_run "$LAUNCHERDAT_EXE" check out.dat
    expect_eq "check finds the problems" "$?" 1
    "$native" check "$work/$case-linux2.dat" >"$work/$case-linux-out.txt"
    expect_same_file "check agrees" "$out_file" "$work/$case-linux-out.txt"
    win_run "$LAUNCHERDAT_EXE" extract out.dat "展開 추출"
    status=$?
    rm -rf "$work/$case-extracted"
    "$native" extract "$work/$case-linux2.dat" "$work/$case-extracted" >/dev/null 2>&1
    expect_eq "extract exit status (the missing picture fails on both)" "$status" "$?"
    if diff -r "$app/展開 추출" "$work/$case-extracted" >/dev/null; then echo "ok: extract agrees"; else fail "extract differs"; fi
    ;;
  tools_imagetool)
    need_native tools/imagetool/imagetool
    native=$(native_tool imagetool)
    folder="素材 소재 🎨"
    dir=$app/$folder
    mkdir -p "$dir/下 아래"
    convert -size 64x48 gradient:'#ff2000-#0020ff' -alpha set -channel A -fx 'i/w' +channel png32:"$dir/絵 그림.png"
    convert -size 40x30 gradient:'#00ff00-#000000' -type TrueColor BMP3:"$dir/下 아래/二.bmp"
    convert -size 33x17 gradient:yellow-purple -quality 90 "$dir/下 아래/三.jpg"
    win_run "$IMAGETOOL_EXE" convert "$folder/絵 그림.png" "出力 출력 🎨.tlg"
    expect_eq "convert exit status" "$?" 0
    "$native" convert "$dir/絵 그림.png" "$work/$case-linux.tlg"
    expect_same_file "TLG6 from imagetool.exe has the Linux bytes" "$app/出力 출력 🎨.tlg" "$work/$case-linux.tlg"
    expect_eq "it is TLG6" "$(head -c 6 "$app/出力 출력 🎨.tlg")" TLG6.0
    win_run "$IMAGETOOL_EXE" convert --to tlg6 -j 2 "$folder" -o "出力 출력"
    expect_eq "batch exit status" "$?" 0
    expect_eq "batch summary" "$(cut -d';' -f1 "$out_file")" "3 converted, 0 failed"
    rm -rf "$work/$case-batch"
    "$native" convert --to tlg6 -j 2 "$dir" -o "$work/$case-batch" >/dev/null
    if diff -r "$app/出力 출력" "$work/$case-batch" >/dev/null; then echo "ok: batch agrees"; else fail "batch output differs"; fi
    expect_eq "batch files" "$(find "$app/出力 출력" -name '*.tlg' | wc -l)" 3
    ;;
  tools_console)
    # In a console of its own (console_run reads the screen back): the tools write UTF-16 there,
    # so names outside the console's code page read right, and imagetool shows its progress bar.
    folder="ゲーム 게임"
    screen=$work/$case-screen.txt
    picture 背景.bmp 64 48 '#305070-#a0c0e0'
    layout "Launcher,320,200" "img,pictures/背景.bmp,0,0" "btn,終了,230,170,,1"
    mv "$app/data" "$app/$folder"
    win_run "$CONSOLE_RUN_EXE" "$screen" "$LAUNCHERDAT_EXE" "C:\\e2e\\$case\\$folder"
    expect_eq "a drop in a console" "$?" 0
    cat "$screen"
    expect_eq "the console shows the folder's name" "$(grep -cF "Packing C:\\e2e\\$case\\$folder into" "$screen")" 1
    expect_eq "the console shows the resource name" "$(grep -c '^pictures/背景\.bmp ' "$screen")" 1
    mkdir -p "$app/絵 그림"
    for i in 1 2 3; do cp "$app/$folder/pictures/背景.bmp" "$app/絵 그림/$i.bmp"; done
    win_run "$CONSOLE_RUN_EXE" "$screen" "$IMAGETOOL_EXE" convert --to tlg6 -j 2 "絵 그림" -o 出力
    expect_eq "a batch in a console" "$?" 0
    expect_eq "its progress bar on the console" "$(grep -c '^\[#*\] 3/3$' "$screen")" 1
    win_run "$IMAGETOOL_EXE" convert --to tlg6 -j 2 "絵 그림" -o 出力2
    expect_eq "no progress bar into a file" "$(grep -c '3/3' "$err_file")" 0
    ;;
  package_demo)
    # The ZIP made by the package target: unpacked, its files checked, its demo run.
    bash "$here/../windows/check-package.sh" "$PACKAGE_ZIP" x86_64 "$app/unpacked" || fail "package contents"
    app=$app/unpacked/$(basename "$PACKAGE_ZIP" .zip)/demo
    [ -f "$app/Launcher.exe" ] || { fail "no demo/Launcher.exe"; exit 1; }
    start
    read_window
    check_window 640 400
    expect_eq "demo captions" "$(printf '%s\n' "$report" | grep '^child class=Button' | sed 's/.* text=\([^ ]*\).*/\1/' | tr '\n' ' ')" \
      "$(text_hex ゲームを始める) $(text_hex マニュアル) $(text_hex 終了) "
    expect_eq "demo panels" "$(children_of Static | wc -l)" 2
    probe click ゲームを始める >/dev/null
    wait_started || fail "the demo's first button did not start its game"
    expect_eq "the demo quits after starting the game" "$(exit_code 15)" 0
    ;;
  window_96) case_window 96 ;;
  window_120) case_window 120 ;;
  window_144) case_window 144 ;;
  dpi_change) case_dpi_change ;;
  plain_files)
    # Panels overlap in table order: one wholly under back, and front partly over it.
    picture back.bmp 200 120 '#406080-#80c0a0'
    picture under.bmp 100 60 '#f00000-#00f000'
    picture front.bmp 120 70 '#e0a030-#3040a0'
    layout "Launcher,320,200" "img,pictures/under.bmp,20,20" "img,pictures/back.bmp,0,0" \
      "img,pictures/front.bmp,150,90" "btn,Quit,230,170,,1"
    rm -rf "$app_pictures" && cp -r "$app/data/pictures" "$app_pictures"
    plain
    start
    read_window
    check_window 320 200
    check_panel_pixels front.bmp 1 150,90
    check_panel_pixels back.bmp 1 0,0 150  # where front leaves it
    probe click Quit >/dev/null
    expect_eq "exit code" "$(exit_code 15)" 0
    ;;
  clicks)
    layout "Launcher,400,300" "btn,Start,10|120,10,game/game.exe -window two,0" \
      "btn,Nothing,10|120,40,,2" "btn,Go,10|120,70,game/game.exe,1" "btn,Odd,10|120,100,game/game.exe -x.e,0"
    pack
    start
    read_window
    probe click Start >/dev/null
    if wait_started; then
      rec=$(game_record)
      echo "$rec"
      expect_eq "started program" "$(record_program "$rec")" "${app_win}game/game.exe"
      expect_eq "parameters" "$(record_args "$rec")" "arg1=-window arg2=two "
      expect_eq "current directory" "$(record_cwd "$rec")" "C:\\e2e\\$case"
    else
      fail "Start did not start the game"
    fi
    expect_eq "flags 0 keep the launcher" "$(exit_code 2)" running
    rm -f "$app/game/started.txt"
    probe click Nothing >/dev/null
    expect_eq "flags 2 without a command do nothing" "$(exit_code 2)" running
    probe nobox 500 >/dev/null || fail "a box after Nothing"
    # A command whose scan ends in ".e" passes "Launcher.exe" as the parameters.
    probe click Odd >/dev/null
    if wait_started; then
      expect_eq "parameters after a trailing .e" "$(tr -d '\r' <"$app/game/started.txt" | grep '^arg[0-9]' | tr '\n' ' ')" "arg1=Launcher.exe "
    else
      fail "Odd did not start the game"
    fi
    rm -f "$app/game/started.txt"
    probe click Go >/dev/null
    wait_started || fail "Go did not start the game"
    started && expect_eq "no parameters" "$(tr -d '\r' <"$app/game/started.txt" | sed -n 's/^argc=//p')" 1
    expect_eq "flags 1 quit with 0" "$(exit_code 15)" 0
    ;;
  boxes)
    long=$(printf 'x%.0s' $(seq 1 250)).dll
    layout "Launcher,640,480" "btn,Missing,10|120,10,nothere/game.exe -x,1" \
      "btn,NoLib,10|120,40,game/game.exe,1,d3dx9_99_missing.dll" "btn,Lib,10|120,70,game/game.exe,0,kernel32.dll" \
      "btn,Upper,10|120,100,game/game.EXE -x,0" "btn,LongLib,10|120,130,game/game.exe,1,$long"
    pack
    start
    read_window
    suffix=" が存在しません。
再インストールを行って下さい。"
    library="DirectX9.0c がインストールされていないので起動出来ません。
インストーラーから「DirectX」をのインストールして下さい。"
    expect_eq "library message is 116 bytes" "$(printf '%s' "$library" | iconv -f UTF-8 -t CP932 | wc -c)" 116
    probe click Missing >/dev/null
    check_box "${app_win}nothere/game.exe$suffix" centred
    probe click NoLib >/dev/null
    check_box "$library" centred
    probe click LongLib >/dev/null
    check_box "$library"
    probe click Upper >/dev/null
    check_box "${app_win}game/game.EXE -x$suffix"
    started && fail "a failed check started the game"
    expect_eq "failed checks don't quit" "$(exit_code 1)" running
    probe click Lib >/dev/null
    wait_started || fail "a present library did not let the game start"
    probe click Missing >/dev/null
    probe box 20000 >/dev/null
    "$WINESERVER" -k 2>/dev/null
    ;;
  second_instance)
    layout "Launcher,400,300" "btn,Quit,10,10,,1"
    pack
    start
    read_window
    first_exit=$exit_file
    probe minimize >/dev/null
    probe iconic >/dev/null || fail "the first window did not minimise"
    start
    expect_eq "second start ends with 0" "$(exit_code 60)" 0
    sleep 0.5
    if probe iconic >/dev/null; then fail "the first window stays minimised"; else echo "ok: first window restored"; fi
    exit_file=$first_exit
    expect_eq "the first one still runs" "$(exit_code 1)" running
    probe click Quit >/dev/null
    expect_eq "first ends with 0" "$(exit_code 15)" 0
    ;;
  unsupported_kind)
    layout "Launcher,400,300" "Btn,X,10,10" "" "btn ,Y,10,40" "btn,Quit,10,70,,1"
    pack
    start
    check_box "Btn 対応していない形式です" centred
    check_box "btn  対応していない形式です" centred
    read_window
    expect_eq "start-up went on" "$(children_of Button | wc -l)" 1
    probe click Quit >/dev/null
    expect_eq "exit code" "$(exit_code 15)" 0
    ;;
  bad_picture)
    printf 'BMnot a picture at all' >"$app/data/pictures/junk.bmp"
    layout "Launcher,400,300" "btn,Quit,10,10,,1" "img,pictures/junk.bmp,0,0" "btn,Late,10,40,,1"
    pack
    start
    check_box "pictures/junk.bmp を読み込めませんでした"
    expect_eq "start-up ends with 0" "$(exit_code 15)" 0
    probe gone 100 >/dev/null || fail "a window remained"
    ;;
  too_many_rows)
    picture p.bmp 16 16 '#ff0000-#0000ff'
    rows=("Launcher,640,480")
    for i in $(seq 0 16); do rows+=("btn,B$i,$((10 + (i % 4) * 90)),$((10 + (i / 4) * 30)),,1"); done
    for i in $(seq 0 8); do rows+=("img,pictures/p.bmp,$((10 + i * 20)),300"); done
    layout "${rows[@]}"
    pack
    start
    check_box "btn の行が16個を超えています。17個目からのボタンは作りません。" centred
    check_box "img の行が8個を超えています。9個目からの画像は表示しません。" centred
    read_window
    expect_eq "buttons made" "$(children_of Button | wc -l)" 16
    expect_eq "panels made" "$(children_of Static | wc -l)" 8
    probe click B0 >/dev/null
    expect_eq "exit code" "$(exit_code 15)" 0
    ;;
  no_layout)
    # Neither Launcher.dat nor a plain layout table: the reader's two boxes, then the end.
    rm -rf "$app/data"
    key32=$(python3 -c "
import sys; sys.path.insert(0, '$here'); from make_dat import name_key
k = name_key(b'Launcher/Launcher.csv'); d = '0123456789ABCDEFGHIJKLMNOPQRSTUV'; s = ''
while k: s = d[k % 32] + s; k //= 32
print(s)")
    start
    check_box "Launcher/Launcher.csv:$key32 No such file or directory(loadFile0)"
    check_box "Launcher/Launcher.csv No such file or directory(loadFile)"
    expect_eq "start-up ends with 0" "$(exit_code 15)" 0
    ;;
  empty_layout)
    # An empty layout table has no row 0: start-up ends quietly, without a box.
    : >"$app/data/Launcher/Launcher.csv"
    pack
    start
    probe nobox 3000 >/dev/null || fail "a box for an empty layout table"
    expect_eq "start-up ends with 0" "$(exit_code 15)" 0
    probe gone 100 >/dev/null || fail "a window remained"
    ;;
  sjis_directory)
    layout "Launcher,400,300" "btn,Start,10|120,10,game/game.exe -a,1" "btn,Missing,10|120,40,nothere.exe,0"
    pack
    start
    read_window
    probe click Missing >/dev/null
    check_box "${app_win}nothere.exe が存在しません。
再インストールを行って下さい。" centred
    probe click Start >/dev/null
    if wait_started; then
      rec=$(game_record)
      expect_eq "started program" "$(record_program "$rec")" "${app_win}game/game.exe"
      expect_eq "current directory" "$(record_cwd "$rec")" "C:\\e2e\\$app_name"
    else
      fail "Start did not start the game"
    fi
    expect_eq "exit code" "$(exit_code 15)" 0
    ;;
  wide_directory)
    # A folder whose name has no code page 932 form: the table comes from Launcher.dat, a
    # picture with a Japanese name from a plain file beside it; the game starts with its
    # parameters, and the missing-target box shows the folder's real name. Bytes that are
    # no Shift-JIS show as U+30FB in a caption, and make a command name no file.
    picture 絵.bmp 120 80 '#305070-#d0a060'
    layout "Launcher,400,300" "img,pictures/絵.bmp,250,10" "btn,Start,10|120,10,game/game.exe -a ソフト two,1" \
      "btn,Missing,10|120,40,nothere.exe,0"
    printf 'btn,A\x80B\x85\x40,10|120,70,game/game\x81.exe,0\n' >>"$app/data/Launcher/Launcher.csv"
    rm -rf "$app_pictures" && cp -r "$app/data/pictures" "$app_pictures"
    mv "$app/data/pictures" "$app/pictures"
    pack
    start
    read_window
    check_window 400 300
    check_panel_pixels 絵.bmp 1 250,10
    expect_eq "captions" "$(printf '%s\n' "$report" | grep '^child class=Button' | sed 's/.* text=\([^ ]*\).*/\1/' | tr '\n' ' ')" \
      "$(text_hex Start) $(text_hex Missing) $(text_hex 'A・B・@') "
    suffix=" が存在しません。
再インストールを行って下さい。"
    probe click Missing >/dev/null
    check_box "${app_win}nothere.exe$suffix" centred
    probe click 'A・B・@' >/dev/null
    check_box "${app_win}game/game・.exe$suffix" centred
    probe click Start >/dev/null
    if wait_started; then
      rec=$(game_record)
      echo "$rec"
      expect_eq "started program" "$(record_program "$rec")" "${app_win}game/game.exe"
      expect_eq "parameters" "$(record_args "$rec")" "arg1=-a arg2=ソフト arg3=two "
      expect_eq "current directory" "$(record_cwd "$rec")" "C:\\e2e\\$app_name"
    else
      fail "Start did not start the game"
    fi
    expect_eq "exit code" "$(exit_code 15)" 0
    ;;
  *) echo "unknown case $case"; exit 2 ;;
esac

if [ "$failures" -ne 0 ]; then echo "$case: $failures failure(s)"; exit 1; fi
echo "$case: passed"
