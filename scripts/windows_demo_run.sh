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
# A prefix of the demo's own: its desktop lives on the demo's X server, and
# a test run's programs never meet it.
export QLX_WINEPREFIX=${QLX_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/qlx-wine-demo}
. "$(dirname "$0")/wine-env.sh"
qlx_wine_prefix_ready
# A desktop left from an earlier run belongs to an X server that is gone.
timeout 20 "$QLX_WINESERVER" -w 2>/dev/null || "$QLX_WINESERVER" -k 2>/dev/null || true

display=
for n in $(seq 90 130); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cleanup() {
  # Wine's desktop ends with the last program; the X server goes after it.
  timeout 10 "$QLX_WINESERVER" -w 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

started=$(date +%s%N)
"$QLX_WINE" "$updater" "$arguments" &
pid=$!
shot_taken=no
round=0
while kill -0 "$pid" 2>/dev/null; do
  round=$((round + 1))
  if [ "$shot_taken" = no ] && xdotool search --onlyvisible --name '^Quillon 설치$' >/dev/null 2>&1; then
    sleep 0.2
    import -window root "$shot" 2>/dev/null && shot_taken=yes
  fi
  # Reading the boxes starts a program of its own: once a second is enough.
  box=
  if [ $((round % 10)) -eq 0 ]; then
    box=$("$QLX_WINE" "$bin/qlx_box_text.exe" 2>/dev/null | tr -d '\r' | head -n 1 || true)
  fi
  if [ -n "$box" ]; then
    echo "== Message box: $box"
    title=$(printf '%s' "$box" | cut -f1 | sed 's/[][\.*^$]/\\&/g')
    id=$(xdotool search --onlyvisible --name "^$title\$" | tail -n 1)
    if [ -n "$id" ]; then
      xdotool windowfocus --sync "$id" 2>/dev/null || true
      xdotool key Return
    fi
  fi
  sleep 0.1
done
status=0
wait "$pid" || status=$?
echo "== The updater ran $(( ($(date +%s%N) - started) / 1000000 )) ms, from wine's start to its exit"
[ "$shot_taken" = yes ] || echo "== The window was not on screen long enough for a screenshot"
exit "$status"
