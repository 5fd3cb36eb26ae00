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
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
cd "$qlx_root"

run_tests=no
if [ "${1:-}" = "--test" ]; then
  run_tests=yes
  shift
  [ "${1:-}" = "--" ] && shift
fi

# The Windows side's own tools: the cross compilers, wine with an X server to
# draw in, and what building Debian's sources needs.
windows_packages=(
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine64 xvfb xauth xdotool fonts-nanum fonts-nanum-coding imagemagick
  dpkg-dev autoconf automake libtool tcl
)
bash scripts/install-deps.sh "${windows_packages[@]}"

bash scripts/windows-deps.sh
cmake --preset windows
cmake --build --preset windows

if [ "$run_tests" = yes ]; then
  # One X server for the run: the window tests and the whole-program tests
  # draw there, and wine's desktop lives as long as it does.
  # shellcheck source=scripts/wine-env.sh
  . scripts/wine-env.sh
  qlx_wine_prefix_ready
  qlx_wine_end_desktop
  status=0
  xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" \
    ctest --preset windows "$@" || status=$?
  qlx_wine_end_desktop
  exit "$status"
fi
