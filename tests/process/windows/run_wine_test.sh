#!/usr/bin/env bash
# Cross-builds one of the Windows back ends with a small test program and runs
# it under wine in a fresh, private prefix.
#   run_wine_test.sh SOURCE_DIR BUILD_DIR [toolhelp|start|settings]
# Exits 77 (skipped) when the cross compiler or wine is missing.
set -euo pipefail
src=$1
out=$2
check=${3:-toolhelp}
cxx=${QLX_MINGW_CXX:-$(command -v x86_64-w64-mingw32-g++ || true)}
wine=${QLX_WINE64:-/usr/lib/wine/wine64}
wineserver=$(dirname "$wine")/wineserver
if [ ! -x "$cxx" ] || [ ! -x "$wine" ]; then
  echo "skipped: needs x86_64-w64-mingw32-g++ and wine64"
  exit 77
fi

out=$out/$check
mkdir -p "$out"
flags=(-std=c++20 -O1 -static -Wall -Wextra -Werror)
wide=(-DUNICODE -D_UNICODE)
test=$out/${check}_test.exe
case $check in
  toolhelp)
    "$cxx" "${flags[@]}" -I"$src" -o "$test" \
      "$src/tests/process/windows/toolhelp_wine_test.cpp" "$src/process/toolhelp_walk_windows.cpp"
    "$cxx" "${flags[@]}" -o "$out/sleeper.exe" "$src/tests/process/windows/sleeper.cpp"
    ;;
  start)
    "$cxx" "${flags[@]}" "${wide[@]}" -I"$src" -o "$test" \
      "$src/tests/process/windows/process_start_wine_test.cpp" \
      "$src/process/process_start_windows.cpp" \
      "$src/platform/text_encoding.cpp" "$src/platform/text_encoding_windows.cpp"
    "$cxx" "${flags[@]}" "${wide[@]}" -municode -o "$out/argv_record.exe" "$src/tests/process/argv_record.cpp"
    ;;
  settings)
    # The JSON library is header-only; only its own folder joins the search path.
    json=$(mktemp -d)
    ln -s /usr/include/nlohmann "$json/nlohmann"
    "$cxx" "${flags[@]}" "${wide[@]}" -I"$src" -isystem "$json" -o "$test" \
      "$src/tests/settings/windows/settings_wine_test.cpp" \
      "$src/settings/settings_table.cpp" "$src/settings/settings_file.cpp" \
      "$src/platform/whole_file_windows.cpp" "$src/platform/files_windows.cpp" \
      "$src/platform/file_path.cpp" "$src/platform/folder_tree_windows.cpp" \
      "$src/platform/file_handle.cpp" "$src/platform/file_handle_windows.cpp" \
      "$src/platform/long_path_windows.cpp" \
      "$src/platform/text_encoding.cpp" "$src/platform/text_encoding_windows.cpp" \
      "$src/base/optional_string.cpp"
    rm -rf "$json"
    ;;
  *)
    echo "unknown check: $check" >&2
    exit 2
    ;;
esac

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
"$wine" "$test"
