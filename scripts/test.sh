#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test.
#   scripts/test.sh                 the optimised build (preset "ci")
#   scripts/test.sh --preset dev    the AddressSanitizer + UBSan build
#   scripts/test.sh --preset windows  the Windows build, tested under wine
#   extra arguments after "--" go to ctest, e.g. -- -R Settings
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
cd "$qlx_root"

preset=ci
if [ "${1:-}" = "--preset" ]; then
  preset=$2
  shift 2
fi
[ "${1:-}" = "--" ] && shift

if [ "$preset" = windows ]; then
  exec bash scripts/windows.sh --test "$@"
fi

bash scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" "$@"
