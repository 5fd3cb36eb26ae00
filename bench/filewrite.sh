#!/usr/bin/env bash
# uf_filewrite of a 400 MB package against one write() of the same bytes.
#   bench/filewrite.sh [MB] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci >/dev/null
cmake --build --preset ci --target filewrite_bench >/dev/null
dir=$(mktemp -d /tmp/qlx-bench-write-XXXXXX)
trap 'rm -rf "$dir"' EXIT
build/ci/bin/filewrite_bench "${1:-400}" "${2:-5}" "$dir"
