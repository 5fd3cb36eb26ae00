#!/usr/bin/env bash
# Builds the process-count benchmark (optimised preset unless one is given) and
# prints the median time of one uf_getprocesscount with 500 running programs
# and its ratio to the 5 ms target.
#   bench/process_count.sh [PRESET]     (ci or dev; default ci)
set -euo pipefail
cd "$(dirname "$0")/.."
usage="bench/process_count.sh [ci|dev]   (the build preset; default ci)"
# shellcheck source=bench/lib.sh
. bench/lib.sh
check_args 1 "$@"
preset=${1-ci}
case $preset in
  ci | dev) ;;
  *) usage_error "unknown preset '$preset'" ;;
esac
build "$preset" process_count_bench
"build/$preset/bin/process_count_bench"
