#!/usr/bin/env bash
# An office at nine in the morning: N updaters, each in an installation folder
# of its own and in a PID namespace of its own (unshare --pid --fork
# --mount-proc, so that none counts the others as a second updater, as on N
# client machines), all let go within one second against one PostgreSQL
# server with its default max_connections (100). Reports how many installed
# the new build whole (the tree of each is compared with the packages'), the
# time until the last one finished, the median and 95th percentile per
# client, the server's CPU time (read from the postmaster, which collects its
# finished backends'), and the bytes that crossed the loopback device: the
# whole benchmark runs in a network namespace of its own, so that they are the
# server's and its clients' alone (almost all of them the packages), and the
# connections it turned away as too many (counted in its log). The
# peer: one psql session that fetches every package once, timed alone (the
# median of five such sessions); the target is that the fleet ends within
# 1.5 x N such fetches.
# With --signed the packages go in signed with a key made for the run, the
# updaters are built with its public half (in build/ci-signed), and the fleet
# runs twice in the same folders: the second round finds every package kept
# in upt/, and the report adds the loopback bytes with and without that.
#   bench/fleet.sh [--signed] N [TOTAL_MB] [PACKAGES]   (default TOTAL_MB 2, PACKAGES 10)
set -euo pipefail
if [ -z "${QLX_FLEET_NETNS-}" ]; then
  # shellcheck disable=SC2016 # expanded by the inner shell
  exec unshare --net bash -c 'ip link set lo up && QLX_FLEET_NETNS=1 exec bash "$0" "$@"' "$0" "$@"
fi
cd "$(dirname "$0")/.."
root=$PWD
usage="bench/fleet.sh [--signed] N [TOTAL_MB] [PACKAGES]   (whole numbers; default TOTAL_MB 2, PACKAGES 10)"
# shellcheck source=bench/lib.sh
. bench/lib.sh
signed=0
if [ "${1-}" = --signed ]; then
  signed=1
  shift
fi
check_args 3 "$@"
[ $# -ge 1 ] || usage_error "N is required"
clients=$1
total_mb=${2-2}
count=${3-10}
count N "$clients"
count TOTAL_MB "$total_mb"
count PACKAGES "$count"
need_tools /usr/bin/python3 unshare psql bsdtar
bin=$root/build/ci/bin
build ci qlx_upt qlx_publish EZip ftp

# shellcheck source=bench/work_folder.sh
. "$root/bench/work_folder.sh" qlx-bench-fleet

signed_bin=
key=()
if [ "$signed" -eq 1 ]; then
  "$bin/qlx_publish" keygen "$work/keys" >/dev/null
  key=(--key "$work/keys/package.key")
  echo "building qlx_upt with the new key in build/ci-signed ..." >&2
  { cmake --preset ci -B "$root/build/ci-signed" \
    -DQLX_PACKAGE_PUBLIC_KEY="$(cat "$work/keys/package.pub")" &&
    cmake --build "$root/build/ci-signed" --parallel 2 --target qlx_upt EZip ftp; } \
    >"$work/signed-build.log" 2>&1 || { cat "$work/signed-build.log" >&2; fail "could not build the signed updater"; }
  signed_bin=$root/build/ci-signed/bin
fi

mkdir -p "$work/zips" "$work/reference"
/usr/bin/python3 "$root/bench/e2e/make_packages.py" "$work/zips" "$count" "$total_mb" >"$work/list"
chmod -R a+rX "$work/zips"
zip_bytes=$(cat "$work"/zips/*.zip | wc -c)
while read -r _ fpath _ zip; do
  mkdir -p "$work/reference/$fpath"
  bsdtar -xf "$zip" -C "$work/reference/$fpath"
done <"$work/list"
echo "packages: $count zips, $zip_bytes bytes; clients: $clients"

QLX_PG_MAX_CONNECTIONS=100 bash "$root/tests/fixtures/postgres.sh" start "$servers" >/dev/null
# shellcheck disable=SC1091
. "$servers/postgres.env"
export PGPASSWORD=$QLX_PG_ROLE_PASSWORD ODBCSYSINI=$QLX_ODBCSYSINI ODBCINI=$QLX_ODBCINI
server=$QLX_PG_HOST:$QLX_PG_PORT/$QLX_PG_DATABASE
"$bin/qlx_publish" --dbms PostgreSQL --server "$server" init >/dev/null
"$bin/qlx_publish" "${key[@]}" --dbms PostgreSQL --server "$server" add-build --manifest "$work/list" \
  >/dev/null 2>"$work/publish.err" || { cat "$work/publish.err" >&2; exit 1; }
postmaster=$(head -1 "$QLX_PG_DIR/data/postmaster.pid")

# The server's CPU seconds (its own and its finished children's), and the
# bytes sent over loopback so far.
server_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); print ($12 + $13 + $14 + $15) / hz }' \
    "/proc/$postmaster/stat"
}
server_bytes() { awk '$1 == "lo:" { print $10 }' /proc/net/dev; }
# The connections the server turned away for want of room so far: each costs
# it a backend started and ended, and its client a wait.
refusals() { grep -c 'too many clients' "$QLX_PG_DIR/server.log" || true; }

# The peer: every package fetched once by one psql session, alone.
{
  while read -r name _; do
    echo "\\copy (SELECT eFILE FROM QLX_UPT3 WHERE FILENAME = '$name') TO '/dev/null' WITH (FORMAT binary)"
  done <"$work/list"
} >"$work/fetch.sql"
fetch_once() {
  local start end
  start=$(date +%s.%N)
  psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$QLX_PG_PORT" -U QUIL_UPT -d "$QLX_PG_DATABASE" \
    -f "$work/fetch.sql"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
fetch_once >/dev/null
# One fetch lasts a fraction of a second, so a single one is at the mercy of
# whatever else the machine does at that moment: the peer is the median of five.
for _ in 1 2 3 4 5; do fetch_once && echo; done >"$work/fetches"
measured_lines "one fetch of every package" "$work/fetches" 5
t_fetch=$(sort -n "$work/fetches" | sed -n 3p)

# fleet ROUND UPDATER: every client runs UPDATER once, all let go together;
# prints the round's report. The installation folders stay for the next round.
fleet() {
  local round=$1 updater=$2 i dir
  rm -f "$work/go" "$work/times"
  mkfifo "$work/go"
  for i in $(seq 1 "$clients"); do
    dir=$work/client-$i
    mkdir -p "$dir"
    rm -f "$dir.boxes"
    printf '{"rows":[{"CODE":"DataBase-DBMS","VALUE":"PostgreSQL"}]}\n' >"$dir/quil.psr"
    printf '#!/bin/sh\nexit 0\n' >"$dir/quillon"
    chmod 755 "$dir/quillon"
    (
      cd "$dir"
      # Every client waits at the FIFO until all are started, then goes.
      : <"$work/go"
      start=$(date +%s.%N)
      status=0
      QT_QPA_PLATFORM=offscreen QLX_BOX_LOG="$dir.boxes" QLX_BOX_ANSWERS=no \
        unshare --pid --fork --mount-proc \
        "$updater" "/PID=1;/PSR=$dir/quil.psr;/SERVER=$server;/BUILDNO=1;" \
        >/dev/null 2>"$dir.err" || status=$?
      echo "$start $(date +%s.%N) $status" >"$dir.time"
    ) &
  done
  sleep 1
  local cpu0 bytes0 go cpu1 bytes1 refused0 refused1
  refused0=$(refusals)
  cpu0=$(server_cpu)
  bytes0=$(server_bytes)
  go=$(date +%s.%N)
  : >"$work/go"
  wait
  cpu1=$(server_cpu)
  bytes1=$(server_bytes)
  refused1=$(refusals)
  echo "$round $(awk -v a="$bytes0" -v b="$bytes1" 'BEGIN { print b - a }')" >>"$work/bytes"

  # A client installed the build whole when it exited 0, showed no box and
  # its tree is the reference tree.
  local whole=0 start end status ok f
  for i in $(seq 1 "$clients"); do
    dir=$work/client-$i
    read -r start end status <"$dir.time"
    echo "$start $end" >>"$work/times"
    if [ "$status" -ne 0 ] || [ -s "$dir.boxes" ]; then
      [ "$whole" -gt 0 ] || cat "$dir.boxes" >&2 2>/dev/null || true
      continue
    fi
    ok=1
    for f in $(cut -d' ' -f2 "$work/list" | cut -d/ -f1 | sort -u); do
      diff -r -q "$dir/$f" "$work/reference/$f" >/dev/null || ok=0
    done
    whole=$((whole + ok))
  done

  echo "round: $round"
  sort -n -k1 "$work/times" | awk -v go="$go" -v n="$clients" -v whole="$whole" \
    -v fetch="$t_fetch" -v cpu="$(awk -v a="$cpu0" -v b="$cpu1" 'BEGIN { print b - a }')" \
    -v sent="$(awk -v a="$bytes0" -v b="$bytes1" 'BEGIN { print b - a }')" -v zips="$zip_bytes" \
    -v refused="$((refused1 - refused0))" '
    {
      if (NR == 1 || $1 < first) first = $1
      if ($1 > latest) latest = $1
      if ($2 > last) last = $2
      d[NR] = $2 - $1
    }
    END {
      for (i = 2; i <= n; i++) for (j = i; j > 1 && d[j-1] > d[j]; j--) { t = d[j]; d[j] = d[j-1]; d[j-1] = t }
      total = last - go
      printf "  installed whole: %d of %d (target %d of %d)\n", whole, n, n, n
      printf "  clients started within %.2f s of the first\n", latest - first
      printf "  time until the last finished: %.2f s; per client median %.2f s, p95 %.2f s\n",
        total, d[int((n + 1) / 2)], d[int(n * 0.95 + 0.999)]
      printf "  server: CPU %.2f s, loopback bytes %.1f MB (%.2f x the packages once per client)\n",
        cpu, sent / 1048576, sent / (zips * n)
      printf "  connections refused as too many: %d (%.1f a client)\n", refused, refused / n
      printf "  time ratio fleet / (N x one psql fetch of %.3f s): %.2f (target <= 1.5)\n",
        fetch, total / (n * fetch)
    }'
}

if [ "$signed" -eq 0 ]; then
  fleet "fresh installations" "$bin/qlx_upt"
  exit 0
fi
# Signed: the first round fetches every package, the second finds each kept
# from the first and only reads its tail.
fleet "signed, fresh installations (every package sent)" "$signed_bin/qlx_upt"
fleet "signed, again (packages kept in upt/)" "$signed_bin/qlx_upt"
awk 'NR == 1 { a = $NF } NR == 2 { b = $NF }
  END { printf "loopback bytes with the kept packages %.1f MB, without %.1f MB: ratio %.3f\n", b / 1048576, a / 1048576, b / a }' "$work/bytes"
