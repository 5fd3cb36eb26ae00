#!/usr/bin/env bash
# uf_filewrite of a 400 MB package against one write() of the same bytes.
#   bench/filewrite.sh [MB] [RUNS]     (default 400, 5)
set -euo pipefail
cd "$(dirname "$0")/.."
usage="bench/filewrite.sh [MB] [RUNS]   (whole numbers; default 400 5)"
# shellcheck source=bench/lib.sh
. bench/lib.sh
check_args 2 "$@"
mb=${1-400}
runs=${2-5}
count MB "$mb"
count RUNS "$runs"
build ci filewrite_bench
dir=$(mktemp -d /tmp/qlx-bench-write-XXXXXX)
trap 'rm -rf "$dir"' EXIT
build/ci/bin/filewrite_bench "$mb" "$runs" "$dir"
