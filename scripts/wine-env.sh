# shellcheck shell=bash
# Sourced: the private wine prefix the Windows build runs in.
#   QLX_WINEPREFIX   the prefix (default: ~/.cache/qlx-wine)
# After `qlx_wine_prefix_ready`, WINEPREFIX, WINEDEBUG and QLX_WINE are set
# and the prefix exists, with Hangul fonts for the dialog faces and captions
# drawn by wine itself (there is no window manager in Xvfb).
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
QLX_WINE=${QLX_WINE:-/usr/lib/wine/wine64}
QLX_WINESERVER=${QLX_WINESERVER:-$(dirname "$QLX_WINE")/wineserver}
export WINEPREFIX=${QLX_WINEPREFIX:-$qlx_cache/qlx-wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Wine takes the ANSI and OEM code pages from the host's locale at each start:
# Korean (949), as on the client machines, unless QLX_WINE_LANG names another.
QLX_WINE_LANG=${QLX_WINE_LANG:-ko_KR.UTF-8}
export LANG=$QLX_WINE_LANG LC_ALL=$QLX_WINE_LANG

_qlx_wine_registry() {
  # Regedit reads UTF-16 files, which the Korean face names need.
  printf '%s\r\n' \
    'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"MS Shell Dlg"="NanumGothic"' \
    '"MS Shell Dlg 2"="NanumGothic"' \
    '"Tahoma"="NanumGothic"' \
    '"System"="NanumGothic"' \
    '"굴림체"="NanumGothicCoding"' \
    '"GulimChe"="NanumGothicCoding"' \
    '"굴림"="NanumGothic"' \
    '"Gulim"="NanumGothic"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
    '"Decorated"="N"' '' |
    iconv -f UTF-8 -t UTF-16
}

qlx_wine_prefix_ready() {
  local stamp=$WINEPREFIX/.qlx-ready
  [ -f "$stamp" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$stamp" ] && exit 0
    rm -rf "$WINEPREFIX"
    DISPLAY= "$QLX_WINE" wineboot -i >/dev/null 2>&1
    local reg
    reg=$(mktemp --suffix=.reg)
    _qlx_wine_registry > "$reg"
    DISPLAY= "$QLX_WINE" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
    rm -f "$reg"
    "$QLX_WINESERVER" -w
    touch "$stamp"
  ) 9>"$WINEPREFIX.lock"
}

# Ends the prefix's wine desktop and its programs. One left by an earlier run
# belongs to an X server that is gone, and a new window would wait for it for
# ever.
qlx_wine_end_desktop() {
  "$QLX_WINESERVER" -k 2>/dev/null || true
}

# qlx_wine_boxes BIN: the message boxes on screen now, one
# "title<TAB>text<TAB>buttons" line each, as BIN/qlx_box_text.exe reads them
# from their own windows.
qlx_wine_boxes() {
  "$QLX_WINE" "$1/qlx_box_text.exe" 2>/dev/null | tr -d '\r' || true
}

# qlx_window_picture TITLE FILE PID [SECONDS]: a PNG of the visible window
# titled exactly TITLE, once it is painted (a window mapped but not painted
# yet shows one or two colours; text brings the shades of its smoothed
# edges). The program PID is held still while the window is read, so that a
# window that closes leaves no half picture; qlx_held_ns adds up how long.
# Fails when no such window is on screen painted within SECONDS (10) while
# PID runs.
qlx_held_ns=0
qlx_window_picture() {
  local pattern id taken stopped started=$SECONDS
  pattern=$(printf '%s' "$1" | sed 's/[][\.*^$]/\\&/g')
  while [ $((SECONDS - started)) -lt "${4:-10}" ] && kill -0 "$3" 2>/dev/null; do
    id=$(xdotool search --onlyvisible --name "^$pattern\$" 2>/dev/null | tail -n 1) || true
    if [ -n "$id" ]; then
      stopped=$(date +%s%N) && kill -STOP "$3" 2>/dev/null || true
      taken=yes && import -window "$id" "$2" 2>/dev/null || taken=no
      kill -CONT "$3" 2>/dev/null || true
      qlx_held_ns=$((qlx_held_ns + $(date +%s%N) - stopped))
      [ "$taken" = yes ] && [ "$(identify -format %k "$2" 2>/dev/null || echo 0)" -gt 8 ] && return 0
    fi
    sleep 0.05
  done
  rm -f "$2"
  return 1
}

# A Unix path as the Windows programs see it (wine maps Z: to /).
qlx_windows_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}
