#!/bin/bash
# Download throughput of the ftp library against curl's command-line tool,
# both fetching the same file from a local pyftpdlib server.
#   bench/ftp_bench.sh [RUNS] [SIZE_MB]     (default 5, 200)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
usage="bench/ftp_bench.sh [RUNS] [SIZE_MB]   (whole numbers; default 5 200)"
# shellcheck source=bench/lib.sh
. bench/lib.sh
check_args 2 "$@"
runs=${1-5}
size_mb=${2-200}
count RUNS "$runs"
count SIZE_MB "$size_mb"
need_tools /usr/bin/python3 curl bc cmp
build ci ftp_bench_driver
driver=$root/build/ci/bin/ftp_bench_driver

user=vortaupt
password='mavik#(%~&!*'
work=$(mktemp -d)
server_pid=
# The stopped server's status (143) is no failure of the benchmark: under
# set -e it would end the script with it.
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home/Quillon_Down" "$work/out"
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/home/Quillon_Down/package.zip"

coproc SERVER { exec /usr/bin/python3 "$root/tests/support/ftp_servers/ftp_server.py" "$work/home"; }
# shellcheck disable=SC2153 # coproc sets SERVER_PID
server_pid=$SERVER_PID
read -r port <&"${SERVER[0]}" || fail "the FTP server did not start"
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
measured_lines "the ftp library's download" "$work/lib.times" "$runs"
measured_lines "curl's download" "$work/curl.times" "$runs"
read -r lib_med lib_min lib_max < <(stats < "$work/lib.times")
read -r curl_med curl_min curl_max < <(stats < "$work/curl.times")

lib_speed=$(ratio "$size_mb" "$lib_med")
curl_speed=$(ratio "$size_mb" "$curl_med")
median_ratio=$(ratio "$curl_med" "$lib_med")
min_ratio=$(ratio "$curl_min" "$lib_min")
printf "file %d MiB, %d runs each (seconds: median min max)\n" "$size_mb" "$runs"
printf "ftp library  %s %s %s  %.1f MiB/s\n" "$lib_med" "$lib_min" "$lib_max" "$lib_speed"
printf "curl -s -o   %s %s %s  %.1f MiB/s\n" "$curl_med" "$curl_min" "$curl_max" "$curl_speed"
printf "throughput ratio library/curl (median): %.3f (target >= 0.9)\n" "$median_ratio"
# On a loaded machine the fastest runs say more than the medians.
printf "throughput ratio library/curl (min): %.3f\n" "$min_ratio"
