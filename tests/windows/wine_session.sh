# Sourced by the tests that run the Windows programs under wine in an X
# server, as a person would use them: boxes are read through their own window
# (box_text.exe) and answered by focusing them and pressing a key.
#   BIN    the Windows build's bin folder (set by the caller)
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
boxes_on_screen() {
  "$QLX_WINE" "$BIN/qlx_box_text.exe" 2>/dev/null | tr -d '\r' || true
}

# Waits for a box whose title is TITLE, reads it and answers it with KEY
# ("Return" for the default button, "n" for No). The line it read is in $box.
answer_box() { # TITLE KEY [SECONDS]
  local title=$1 key=$2 limit=${3:-60} started=$SECONDS id=""
  box=""
  while [ $((SECONDS - started)) -lt "$limit" ]; do
    box=$(boxes_on_screen | awk -F'\t' -v t="$title" '$1 == t' | head -n 1)
    [ -n "$box" ] && break
    kill -0 "$wine_pid" 2>/dev/null || { echo "  the program ended before the box '$title'" >&2; return 1; }
    sleep 0.3
  done
  [ -n "$box" ] || { echo "  no box '$title' within ${limit}s" >&2; return 1; }
  # The X window of the box carries the same title.
  id=$(xdotool search --onlyvisible --name "^$(printf '%s' "$title" | sed 's/[][\.*^$]/\\&/g')\$" | tail -n 1)
  [ -n "$id" ] || { echo "  box '$title' has no X window" >&2; return 1; }
  xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowactivate --sync "$id"
  xdotool key "$key"
}

box_text() { printf '%s' "$box" | cut -f2; }
box_buttons() { printf '%s' "$box" | cut -f3; }

# Makes a zip package from NAME=CONTENT pairs (names may hold folders).
make_package() { # ZIP FILE CONTENT [FILE CONTENT...]
  local zip=$1 dir
  shift
  dir=$(mktemp -d)
  while [ $# -gt 0 ]; do
    mkdir -p "$(dirname "$dir/$1")"
    printf '%s\n' "$2" >"$dir/$1"
    shift 2
  done
  (cd "$dir" && zip -q -r "$zip" .)
  rm -rf "$dir"
}

# A settings file with the given DBMS.
write_settings() { # FILE DBMS
  cat >"$1" <<JSON
{
  "rows": [
    { "CODE": "DataBase-DBMS", "VALUE": "$2" },
    { "CODE": "QL_UPT_TIME", "VALUE": "8765" },
    { "CODE": "Client-Theme", "VALUE": "classic" }
  ]
}
JSON
}

setting() { # FILE CODE
  /usr/bin/python3 -c 'import json,sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))["rows"]
print(next((r["VALUE"] for r in rows if r["CODE"] == sys.argv[2]), "<absent>"))' "$1" "$2"
}
