#!/usr/bin/env bash
# Runs one Windows program under wine in the project's private prefix; the
# Windows build's tests run through it (CMAKE_CROSSCOMPILING_EMULATOR).
#   scripts/wine-run.sh PROGRAM.exe [ARGUMENTS...]
set -euo pipefail
# shellcheck source=scripts/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
qlx_wine_prefix_ready
exec "$QLX_WINE" "$@"
