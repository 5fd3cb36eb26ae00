#!/bin/bash
# Download throughput of the ftp library against curl's command-line tool,
# both fetching the same file from a local pyftpdlib server.
# Usage: bench/ftp_bench.sh [BUILD_DIR (default build/ci)] [RUNS (default 5)] [SIZE_MB (default 200)]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/ci}
runs=${2:-5}
size_mb=${3:-200}
driver=$build/bin/ftp_bench_driver
if [ -z "${1:-}" ]; then
    (cd "$root" && cmake --preset ci >/dev/null && cmake --build --preset ci --target ftp_bench_driver ftp >/dev/null)
fi
[ -x "$driver" ] || { echo "build ftp_bench_driver in $build first" >&2; exit 1; }

user=vortaupt
password='mavik#(%~&!*'
work=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home/Quillon_Down" "$work/out"
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/home/Quillon_Down/package.zip"

coproc SERVER { exec /usr/bin/python3 "$root/tests/support/ftp_servers/ftp_server.py" "$work/home"; }
server_pid=$SERVER_PID
read -r port <&"${SERVER[0]}"
address=127.0.0.1:$port

run_library() { "$driver" "$address" "$user" "$password" Quillon_Down package.zip "$work/out/lib.zip" "$1"; }
run_curl() {
    for ((i = 0; i < $1; i++)); do
        local start end
        start=$(date +%s.%N)
        curl -s -u "$user:$password" -o "$work/out/curl.zip" "ftp://$address/Quillon_Down/package.zip"
        end=$(date +%s.%N)
        echo "$end - $start" | bc -l
    done
}
# Median, min and max of the seconds on stdin.
stats() { sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.4f %.4f %.4f\n", m, v[1], v[NR] }'; }

run_library 1 > /dev/null # warm-up: page cache, server start
run_curl 1 > /dev/null
cmp "$work/home/Quillon_Down/package.zip" "$work/out/lib.zip"
cmp "$work/home/Quillon_Down/package.zip" "$work/out/curl.zip"

# Interleaved, so that a change in the machine's load hits both alike.
: > "$work/lib.times"
: > "$work/curl.times"
for ((r = 0; r < runs; r++)); do
    run_library 1 >> "$work/lib.times"
    run_curl 1 >> "$work/curl.times"
done
read -r lib_med lib_min lib_max < <(stats < "$work/lib.times")
read -r curl_med curl_min curl_max < <(stats < "$work/curl.times")

mb_s() { echo "$size_mb / $1" | bc -l; }
printf "file %d MiB, %d runs each (seconds: median min max)\n" "$size_mb" "$runs"
printf "ftp library  %s %s %s  %.1f MiB/s\n" "$lib_med" "$lib_min" "$lib_max" "$(mb_s "$lib_med")"
printf "curl -s -o   %s %s %s  %.1f MiB/s\n" "$curl_med" "$curl_min" "$curl_max" "$(mb_s "$curl_med")"
printf "throughput ratio library/curl (median): %.3f (target >= 0.9)\n" "$(echo "$curl_med / $lib_med" | bc -l)"
# On a loaded machine the fastest runs say more than the medians.
printf "throughput ratio library/curl (min): %.3f\n" "$(echo "$curl_min / $lib_min" | bc -l)"
