#!/usr/bin/env bash
# Cross-builds the Toolhelp back end with a small test program and runs it
# under wine in a fresh, private prefix.
#   run_wine_test.sh SOURCE_DIR BUILD_DIR
# Exits 77 (skipped) when the cross compiler or wine is missing.
set -euo pipefail
src=$1
out=$2
cxx=${QLX_MINGW_CXX:-$(command -v x86_64-w64-mingw32-g++ || true)}
wine=${QLX_WINE64:-/usr/lib/wine/wine64}
wineserver=$(dirname "$wine")/wineserver
if [ ! -x "$cxx" ] || [ ! -x "$wine" ]; then
  echo "skipped: needs x86_64-w64-mingw32-g++ and wine64"
  exit 77
fi

mkdir -p "$out"
flags=(-std=c++20 -O1 -static -Wall -Wextra -Werror)
"$cxx" "${flags[@]}" -I"$src" -o "$out/toolhelp_test.exe" \
  "$src/tests/process/windows/toolhelp_wine_test.cpp" "$src/process/toolhelp_walk.cpp"
"$cxx" "${flags[@]}" -o "$out/sleeper.exe" "$src/tests/process/windows/sleeper.cpp"

WINEPREFIX=$(mktemp -d)
export WINEPREFIX
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

"$wine" wineboot -i >/dev/null 2>&1 || true
"$wine" "$out/toolhelp_test.exe"
