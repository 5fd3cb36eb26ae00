#!/usr/bin/env bash
# Builds the process-count benchmark (optimised preset unless one is given) and
# prints the median time of one uf_getprocesscount with 500 running programs
# and its ratio to the 5 ms target.
#   bench/process_count.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-ci}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target process_count_bench >/dev/null
"build/$preset/bin/process_count_bench"
