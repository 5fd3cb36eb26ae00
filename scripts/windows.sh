#!/usr/bin/env bash
# The Windows updater, cross-built on Debian: installs what it needs, builds
# the dependencies from Debian's source packages (cached by version), then the
# preset "windows" into build/windows. build/windows/bin then holds
# qlx_upt.exe, qlx_upt3.exe, EZip.dll, ftp.dll, qlx_publish.exe and every DLL
# they need.
#   scripts/windows.sh           build
#   scripts/windows.sh --test [-- CTEST ARGUMENTS]
#                                build, then run the tests under wine in Xvfb
set -euo pipefail
cd "$(dirname "$0")/.."

run_tests=no
if [ "${1:-}" = "--test" ]; then
  run_tests=yes
  shift
  [ "${1:-}" = "--" ] && shift
fi

bash scripts/install-deps.sh
# The Windows side's own tools: the cross compilers, wine with an X server to
# draw in, and what building Debian's sources needs.
windows_packages=(
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine64 xvfb xauth xdotool fonts-nanum fonts-nanum-coding imagemagick
  dpkg-dev autoconf automake libtool tcl
)
missing=()
for p in "${windows_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

bash scripts/windows-deps.sh
cmake --preset windows
cmake --build --preset windows

if [ "$run_tests" = yes ]; then
  # One X server for the run: the window tests and the whole-program tests
  # draw there, and wine's desktop lives as long as it does.
  . scripts/wine-env.sh
  qlx_wine_prefix_ready
  # A desktop left in the prefix by an earlier run belongs to an X server that
  # is gone, and a new window would wait for it for ever.
  "$QLX_WINESERVER" -k 2>/dev/null || true
  status=0
  xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" \
    ctest --preset windows "$@" || status=$?
  "$QLX_WINESERVER" -k 2>/dev/null || true
  exit "$status"
fi
