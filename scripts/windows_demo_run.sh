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
. "$(dirname "$0")/wine-env.sh"
qlx_wine_prefix_ready

display=
for n in $(seq 90 130); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cleanup() { kill "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

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
[ "$shot_taken" = yes ] || echo "== The window was not on screen long enough for a screenshot"
exit "$status"
