#!/usr/bin/env bash
# The release build as users get it, in a real X server: every box waits for a
# person, whatever the environment says, and a person's keys answer it; an
# update with one bad package installs nothing and does not relaunch the
# client; the same update without it installs everything and relaunches.
#   tests/release/attended_x_test.sh SOURCE_DIR
set -euo pipefail
src=$(realpath "$1")
cd "$src"
cmake --preset release >/dev/null
cmake --build --preset release --target qlx_upt qlx_publish EZip ftp >/dev/null
bin=$src/build/release/bin

work=$(mktemp -d)
display=""
cleanup() {
  [ -n "${updater:-}" ] && kill "$updater" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The server takes a free display itself and names it once it accepts
# connections: a display chosen here could be taken by another run before the
# server got it, and the test would drive that run's boxes.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
until [ -s "$work/display" ]; do
  kill -0 "$xvfb" 2>/dev/null || fail "the X server did not start"
  sleep 0.1
done
display=:$(head -n 1 "$work/display")
export DISPLAY=$display

# Build 11 is installed; build 12 brings a new v.txt and a file of its own.
install=$work/install
mkdir -p "$install/bin" "$work/pkg/bin"
printf 'build 11\n' >"$install/bin/v.txt"
printf 'build 12\n' >"$work/pkg/bin/v.txt"
printf 'new in 12\n' >"$work/pkg/bin/new.txt"
(cd "$work/pkg/bin" && zip -q "$work/core.zip" v.txt new.txt)
# The record appears whole: the test may look at any moment.
cat >"$install/quillon" <<'SH'
#!/bin/sh
out="$(dirname "$0")/client-args.txt"
printf '%s\n' "$@" > "$out.part"
mv "$out.part" "$out"
SH
chmod 755 "$install/quillon"
cat >"$install/quil.psr" <<'JSON'
{"rows":[{"CODE":"DataBase-DBMS","VALUE":"SQLite"},{"CODE":"QL_UPT_TIME","VALUE":"77"}]}
JSON
"$bin/qlx_publish" --dbms SQLite --server "$work/update.db" init >/dev/null
"$bin/qlx_publish" --dbms SQLite --server "$work/update.db" add-build core bin 12 "$work/core.zip" >/dev/null
# A package the publisher would refuse, as a broken upload leaves it.
sqlite3 "$work/update.db" \
  "INSERT INTO QLX_UPT3 (FILENAME, FPATH, BUILDNO, eFILE) VALUES ('broken', 'bin', 12, CAST('<html>502</html>' AS BLOB));"

# The updater counts every program of its own and the client's names that
# runs on the machine, and other builds and test runs here start such
# programs: it runs in a process namespace of its own, which sees only what it
# starts. The namespace's first process outlives the updater until the client
# it relaunched has ended, since the namespace ends with it.
userns=()
[ "$(id -u)" -eq 0 ] || userns=(--map-root-user)
start_updater() {
  (cd "$install" && exec unshare "${userns[@]}" --pid --fork --mount-proc --kill-child \
    bash -c '"$@" & wait $!; status=$?
      while pids=(/proc/[0-9]*); [ "${#pids[@]}" -gt 1 ]; do sleep 0.1; done
      exit $status' bash env QLX_BOX_LOG="$work/boxes.log" QLX_BOX_ANSWERS=yes,yes \
    "$bin/qlx_upt" "/PID=1;/PSR=quil.psr;/SERVER=$work/update.db;/BUILDNO=12;") &
  updater=$!
}
# Waits for the box titled $1 and answers it as a person would: focus, then a key.
answer_box() {
  local id
  id=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -1) || fail "no box '$1'"
  sleep 1
  kill -0 "$updater" 2>/dev/null || fail "the updater ended before box '$1' was answered"
  [ ! -e "$work/boxes.log" ] || fail "a box answered itself"
  xdotool windowfocus --sync "$id" key Return
}

start_updater
answer_box 'Err!'
answer_box '에러!'
timeout 120 tail --pid="$updater" -f /dev/null || fail "the updater did not end"
updater=""
[ "$(cat "$install/bin/v.txt")" = "build 11" ] || fail "a failed update changed bin/v.txt"
[ ! -e "$install/bin/new.txt" ] || fail "a failed update installed bin/new.txt"
[ ! -e "$install/client-args.txt" ] || fail "a failed update relaunched the client"
ls -A "$install/bin" | grep -q ezip-staging && fail "a staging folder was left"

sqlite3 "$work/update.db" "DELETE FROM QLX_UPT3 WHERE FILENAME = 'broken';"
start_updater
# Ends with the namespace: the relaunched client has written its record by then.
timeout 120 tail --pid="$updater" -f /dev/null || fail "the update did not end"
updater=""
[ "$(cat "$install/bin/v.txt")" = "build 12" ] || fail "bin/v.txt was not updated"
[ "$(cat "$install/bin/new.txt")" = "new in 12" ] || fail "bin/new.txt was not installed"
[ "$(cat "$install/client-args.txt")" = "quil.psr" ] || fail "the client was not relaunched with quil.psr"
echo "release build in X: boxes wait for a person; all or nothing holds"
