# shellcheck shell=bash
# Sourced by the tests that run the Windows programs under wine in an X
# server, as a person would use them: boxes are read through their own window
# (box_text.exe) and answered by focusing them and pressing a key.
#   BIN    the Windows build's bin folder (set by the caller)
# shellcheck source=scripts/wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
qlx_wine_prefix_ready

failures=0
checks=0
check() { # DESCRIPTION COMMAND...
  local what=$1
  shift
  checks=$((checks + 1))
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what" >&2
    failures=$((failures + 1))
  fi
}
fails() { ! "$@"; }
equals() { [ "$1" = "$2" ] || { printf '  expected [%s]\n  got      [%s]\n' "$2" "$1" >&2; return 1; }; }
finish() {
  echo "$((checks - failures)) passed, $failures failed"
  [ "$failures" -eq 0 ]
}

wine_start() { # PROGRAM ARGUMENTS... ; in the background, pid in $wine_pid
  "$QLX_WINE" "$@" &
  wine_pid=$!
}

# Waits until the program started last has ended; its status in $wine_status.
wine_wait() { # [SECONDS]
  local limit=${1:-60} waited=0
  while kill -0 "$wine_pid" 2>/dev/null; do
    if [ "$waited" -ge $((limit * 10)) ]; then
      echo "  still running after ${limit}s: ending it" >&2
      kill "$wine_pid" 2>/dev/null || true
      wait "$wine_pid" 2>/dev/null || true
      wine_status=timeout
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  wine_status=0
  wait "$wine_pid" || wine_status=$?
}

# The boxes on screen now, one "title<TAB>text<TAB>buttons" line each.
boxes_on_screen() { qlx_wine_boxes "$BIN"; }

# What the person saw is kept: a picture of each box and window the test
# looks at, numbered in the order they came, below ARTIFACTS/SCENARIO.
artifacts=${QLX_TEST_ARTIFACTS:-$(dirname "$BIN")/windows-artifacts}/${scenario:-$(basename "$0" .sh)}
pictures=0
picture() { # TITLE [SECONDS]
  [ "$pictures" -gt 0 ] || { rm -rf "$artifacts" && mkdir -p "$artifacts"; }
  pictures=$((pictures + 1))
  qlx_window_picture "$1" "$artifacts/$(printf '%02d' "$pictures")-${1//[\/ ]/_}.png" "$wine_pid" "${2:-10}" ||
    { echo "  no picture of '$1' painted on screen" >&2; return 1; }
}

# Waits for a box whose title is TITLE, reads it and answers it with KEY
# ("Return" for the default button, "n" for No). The line it read is in $box.
answer_box() { # TITLE KEY [SECONDS]
  local title=$1 key=$2 limit=${3:-60} started=$SECONDS
  box=""
  while [ $((SECONDS - started)) -lt "$limit" ]; do
    box=$(boxes_on_screen | awk -F'\t' -v t="$title" '$1 == t' | head -n 1)
    [ -n "$box" ] && break
    kill -0 "$wine_pid" 2>/dev/null || { echo "  the program ended before the box '$title'" >&2; return 1; }
    sleep 0.3
  done
  [ -n "$box" ] || { echo "  no box '$title' within ${limit}s" >&2; return 1; }
  picture "$title" || return 1
  # The X window of the box carries the same title.
  qlx_press_in_window "$title" "$key" || { echo "  box '$title' has no X window that takes a key" >&2; return 1; }
}

box_text() { printf '%s' "$box" | cut -f2; }
box_buttons() { printf '%s' "$box" | cut -f3; }

# The demo's settings file, which the tests start from as well (scripts/lib.sh,
# sourced through wine-env.sh).
write_settings() { qlx_write_settings "$@"; } # FILE DBMS
setting() { qlx_setting "$@"; }               # FILE CODE
