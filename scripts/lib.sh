# shellcheck shell=bash disable=SC2034 # its variables are for the scripts that source it
# Sourced by the project's scripts (and by bench/lib.sh and the Windows tests'
# session): the checkout's root, Debian packages installed on demand, the
# build of chosen targets, the demo's packages and settings file, a private X
# server and the answering of a box in it.
#   . scripts/lib.sh

# Sourced once per shell: a second source keeps what the first one set.
[ -z "${_qlx_lib_loaded:-}" ] || return 0
_qlx_lib_loaded=yes

# The checkout this library belongs to, wherever the caller runs from.
qlx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Where the private wine prefixes live; the demo's has its own, so that its
# desktop lives on the demo's X server and a test run's programs never meet it.
qlx_cache=${XDG_CACHE_HOME:-$HOME/.cache}
qlx_demo_wineprefix=$qlx_cache/qlx-wine-demo

# qlx_die MESSAGE: the message on stderr under the script's name, exit 1.
qlx_die() {
  echo "${0##*/}: $1" >&2
  exit 1
}

# qlx_need_tool PROGRAM [PACKAGE]: fails unless PROGRAM is on the path, naming
# the Debian package of scripts/install-deps.sh that brings it.
qlx_need_tool() {
  command -v "$1" >/dev/null || qlx_die "missing $1 (scripts/install-deps.sh installs ${2:-it})"
}

# The index is fetched at most once per process: a second install in the
# same run finds it fresh.
_qlx_apt_updated=no

# qlx_install_packages PACKAGE...: installs those not yet installed, as root
# or through sudo. Nothing is fetched when all are there.
qlx_install_packages() {
  local p missing=() sudo=()
  for p; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
  done
  [ "${#missing[@]}" -gt 0 ] || return 0
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  if [ "$_qlx_apt_updated" = no ]; then
    "${sudo[@]}" apt-get update -q
    _qlx_apt_updated=yes
  fi
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# qlx_build PRESET TARGET...: configures the preset, quietly, and builds only
# these targets in its build folder.
qlx_build() {
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target "$@"
}

# qlx_ms_since NANOSECONDS: the milliseconds from that `date +%s%N` to now.
qlx_ms_since() {
  echo $((($(date +%s%N) - $1) / 1000000))
}

# qlx_make_package ZIP FILE CONTENT [FILE CONTENT...]: a zip package of these
# files (names may hold folders), each one line of CONTENT, and nothing else.
qlx_make_package() {
  local zip dir
  zip=$(realpath -m "$1")
  shift
  dir=$(mktemp -d)
  while [ $# -gt 0 ]; do
    mkdir -p "$(dirname "$dir/$1")"
    printf '%s\n' "$2" >"$dir/$1"
    shift 2
  done
  rm -f "$zip"
  (cd "$dir" && zip -q -r "$zip" .)
  rm -rf "$dir"
}

# qlx_make_demo_packages DIR: DIR/base.zip of build 1, DIR/core.zip and
# DIR/reports.zip of build 2 and DIR/fixes.zip of build 3, each marking its
# build in quillon.ver (reports only has a file with a Hangul name, in a folder
# of its own); a client of build 2 thus installs core, reports and fixes.
qlx_make_demo_packages() {
  qlx_make_package "$1/base.zip"    quillon.ver "build 1"
  qlx_make_package "$1/core.zip"    quillon.ver "build 2" lib/core.dat "core of build 2"
  qlx_make_package "$1/reports.zip" reports/월간.txt "월간 보고서 양식, build 2"
  qlx_make_package "$1/fixes.zip"   quillon.ver "build 3" lib/fix.dat "fix of build 3"
}

# qlx_write_settings FILE DBMS: the client's settings file as the demo and the
# tests start from, with a time stamp the updater is to replace.
qlx_write_settings() {
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

# qlx_setting FILE CODE: the value of CODE in a settings file, or <absent>.
qlx_setting() {
  /usr/bin/python3 -c 'import json,sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))["rows"]
print(next((r["VALUE"] for r in rows if r["CODE"] == sys.argv[2]), "<absent>"))' "$1" "$2"
}

# qlx_start_xvfb GEOMETRY: an X server of its own on the first free display
# from :90, for this script's programs only; sets DISPLAY and qlx_xvfb_pid and
# returns once the server answers.
qlx_start_xvfb() {
  local n display=
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
  done
  [ -n "$display" ] || qlx_die "no free X display"
  Xvfb "$display" -screen 0 "$1" -nolisten tcp >/dev/null 2>&1 &
  qlx_xvfb_pid=$!
  export DISPLAY=$display
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}

# qlx_press_in_window TITLE KEY: focuses the visible window titled exactly
# TITLE (the newest of several) and presses KEY in it ("Return" for a box's
# default button). Fails when no such window is there or it takes no focus, so
# that no key lands in another window.
qlx_press_in_window() {
  local pattern id
  pattern=$(printf '%s' "$1" | sed 's/[][\.*^$]/\\&/g')
  id=$(xdotool search --onlyvisible --name "^$pattern\$" | tail -n 1) || true
  [ -n "$id" ] || return 1
  xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowactivate --sync "$id" || return 1
  xdotool key "$2"
}
