# Shared set-up of the Wine runs, sourced by the e2e scripts and scripts/demo.sh.
#   wine_env PREFIX [LANG]          exports the variables every run uses; LANG (default
#                                   ja_JP.UTF-8) sets the prefix's code page: 932, en_US 1252
#   wine_make_prefix PREFIX [LANG]  a fresh prefix: Japanese fonts, virtual desktop, 96 DPI
#   wine_set_dpi DPI           LogPixels in the prefix (takes effect at the next wineserver)
#   wine_start_display         a free Xvfb display (DISPLAY exported, XVFB_PID set)
#   wine_stop                  ends wineserver and Xvfb started here
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

wine_env() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  export LANG=${2:-ja_JP.UTF-8} LC_ALL=${2:-ja_JP.UTF-8}
}

wine_reg() { "$WINE64" reg "$@" >/dev/null 2>&1; }
wine_server_restart() { "$WINESERVER" -k 2>/dev/null || true; "$WINESERVER" -w 2>/dev/null || true; }

wine_make_prefix() {
  local prefix=$1
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  wine_env "$prefix" "${2:-}"
  "$WINE64" wineboot -i >/dev/null 2>&1 || return 1
  "$WINESERVER" -w || true
  # Debian's wine64 does not find its own fonts.
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null
  wine_reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /d IPAGothic /f
  wine_reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAGothic /f
  wine_reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
  wine_reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f || return 1
  "$WINESERVER" -w || true
  wine_set_dpi 96
}

wine_set_dpi() {
  wine_server_restart
  wine_reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f || true
  wine_reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels /t REG_DWORD /d "$1" /f || true
  wine_server_restart
}

wine_start_display() {
  local fifo
  fifo=$(mktemp -u /tmp/xvfb-fd.XXXXXX)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local number
  read -r number <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$number"
}

wine_stop() {
  wine_server_restart
  if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; XVFB_PID=; fi
}
