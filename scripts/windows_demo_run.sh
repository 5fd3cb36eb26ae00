#!/usr/bin/env bash
# Runs the Windows updater under wine in a private X server for the demo,
# as a person would see it: saves a screenshot of its window, answers each
# box with its default button and prints what the box said.
#   windows_demo_run.sh UPDATER.exe ARGUMENTS SCREENSHOT.png
# Runs in the installation folder; exits with the updater's status.
set -euo pipefail
updater=$1
arguments=$2
shot=$3
bin=$(dirname "$updater")
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
export QLX_WINEPREFIX=${QLX_WINEPREFIX:-$qlx_demo_wineprefix}
# shellcheck source=scripts/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
qlx_wine_prefix_ready
# A desktop left from an earlier run belongs to an X server that is gone.
timeout 20 "$QLX_WINESERVER" -w 2>/dev/null || qlx_wine_end_desktop

qlx_start_xvfb 1280x800x24
cleanup() {
  # Wine's desktop ends with the last program; the X server goes after it.
  timeout 10 "$QLX_WINESERVER" -w 2>/dev/null || true
  kill "$qlx_xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

started=$(date +%s%N)
"$QLX_WINE" "$updater" "$arguments" &
pid=$!
shot_taken=no
round=0
while kill -0 "$pid" 2>/dev/null; do
  round=$((round + 1))
  if [ "$shot_taken" = no ] && xdotool search --onlyvisible --name '^Quillon 설치$' >/dev/null 2>&1; then
    # The window shows once the program has started; the update runs from then on.
    shown=${shown:-$(date +%s%N)}
    qlx_window_picture "Quillon 설치" "$shot" "$pid" 5 && shot_taken=yes
  fi
  # Reading the boxes starts a program of its own: once a second is enough.
  box=
  if [ $((round % 10)) -eq 0 ]; then
    box=$(qlx_wine_boxes "$bin" | head -n 1)
  fi
  if [ -n "$box" ]; then
    echo "== Message box: $box"
    qlx_press_in_window "$(printf '%s' "$box" | cut -f1)" Return || true
  fi
  sleep 0.1
done
status=0
wait "$pid" || status=$?
echo "== The updater ran $(qlx_ms_since "$started") ms, from wine's start to its exit"
# Less the moment it was held still for the picture.
[ -z "${shown:-}" ] || echo "== The update took $(($(qlx_ms_since "$shown") - qlx_held_ns / 1000000)) ms inside the program, from its window on screen to its exit"
[ "$shot_taken" = yes ] || echo "== The window was not on screen long enough for a screenshot"
exit "$status"
