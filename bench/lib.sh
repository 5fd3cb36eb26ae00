# shellcheck shell=bash disable=SC2154 # $usage comes from the script
# Sourced by the benchmark scripts, after they set $usage (their usage line)
# and changed to the checkout's root: argument checks, the build of what a
# benchmark runs, and checks that every measurement is there before a ratio is
# printed from it. What the project's scripts share too comes from
# scripts/lib.sh.
#   . bench/lib.sh
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

# usage_error MESSAGE: the message and the usage line on stderr, exit 2.
usage_error() {
  echo "${0##*/}: $1" >&2
  echo "usage: $usage" >&2
  exit 2
}

# fail MESSAGE: a benchmark that could not measure what it should fails.
fail() { qlx_die "$1"; }

# check_args MAX "$@": -h/--help prints the usage line and exits 0; options
# and more than MAX values are usage errors. The benchmarks take values only.
check_args() {
  local max=$1 a
  shift
  for a; do
    case $a in
      -h | --help) echo "usage: $usage"; exit 0 ;;
      -[!0-9]*) usage_error "unknown option '$a'" ;;
    esac
  done
  [ $# -le "$max" ] || usage_error "too many arguments"
}

# count NAME VALUE: a whole number from 1 to 999999.
count() {
  [[ $2 =~ ^[1-9][0-9]{0,5}$ ]] || usage_error "$1 must be a whole number from 1 to 999999, not '$2'"
}

# need_tools PROGRAM...: the peers and helpers a benchmark runs are installed.
need_tools() {
  local t
  for t; do qlx_need_tool "$t"; done
}

# build PRESET TARGET...: configures the preset and builds only these targets in
# its build folder, build/PRESET; the build's output shows only when it fails.
build() {
  local preset=$1 log
  shift
  log=$(mktemp)
  echo "building $* in build/$preset ..." >&2
  if ! qlx_build "$preset" "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    fail "could not build $*"
  fi
  rm -f "$log"
}

# measured WHAT VALUE...: each value is a number (a measurement was taken).
measured() {
  local what=$1 v
  shift
  for v; do
    [[ $v =~ ^([0-9]+|[0-9]*\.[0-9]+)$ ]] || fail "no measurement of $what (got '$v')"
  done
}

# measured_lines WHAT FILE N: FILE holds exactly N measurements, one a line.
measured_lines() {
  local n
  n=$(wc -l <"$2")
  [ "$n" -eq "$3" ] || fail "$n of $3 measurements of $1"
  while read -r n; do measured "$1" "$n"; done <"$2"
}

# ratio A B: prints A / B; fails on a missing term or a zero divisor.
ratio() {
  measured "a ratio's terms" "$1" "$2"
  awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) exit 1; printf "%.6f", a / b }' ||
    fail "ratio $1 / $2 has a zero divisor"
}
