#!/usr/bin/env bash
# Installs, builds and runs the updater's main job in a demo installation
# folder. In a real window when a display is present, offscreen otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh
cmake --preset ci >/dev/null
cmake --build --preset ci

demo="$root/demo"
mkdir -p "$demo"
cd "$demo"
if [ -z "${DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
  echo "No display: running offscreen for 5 seconds."
  status=0
  timeout 5 "$root/build/ci/bin/qlx_upt" "/PID=$$;/PSR=$demo/quil.psr;/SERVER=demo;/BUILDNO=1;" || status=$?
  [ "$status" -eq 124 ] && status=0
  exit "$status"
fi
exec "$root/build/ci/bin/qlx_upt" "/PID=$$;/PSR=$demo/quil.psr;/SERVER=demo;/BUILDNO=1;"
