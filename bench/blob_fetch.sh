#!/usr/bin/env bash
# Time and peak memory of fetching one package BLOB (200 MB by default), the
# updater's way against each database's own client:
#   SQLite:     blob_fetch   vs  sqlite3 ... writefile()
#   PostgreSQL: blob_fetch   vs  psql \copy ... (FORMAT binary)
# "whole" rows read the BLOB as one value of one row, as the drivers do alone.
#   bench/blob_fetch.sh [BUILD_DIR [SIZE_MB]]
# BUILD_DIR is a configured build tree (default build/ci, configured with the
# preset "ci" when missing); blob_fetch is built there first.
set -euo pipefail
usage="usage: bench/blob_fetch.sh [BUILD_DIR [SIZE_MB]]   (SIZE_MB a whole number 1..4096, default 200)"
case "${1:-}" in
  -h | --help) echo "$usage"; exit 0 ;;
  -*) echo "$usage" >&2; exit 2 ;;
esac
[ "$#" -le 2 ] || { echo "$usage" >&2; exit 2; }
size_mb=${2:-200}
if ! [[ "$size_mb" =~ ^[1-9][0-9]{0,3}$ ]] || [ "$size_mb" -gt 4096 ]; then
  echo "blob_fetch.sh: SIZE_MB must be a whole number 1..4096, not '$size_mb'" >&2
  echo "$usage" >&2
  exit 2
fi

cd "$(dirname "$0")/.."
root=$PWD
if [ -z "${1:-}" ]; then
  build=$root/build/ci
  [ -f "$build/CMakeCache.txt" ] || cmake --preset ci >/dev/null
else
  case $1 in /*) build=$1 ;; *) build=$root/$1 ;; esac
  [ -f "$build/CMakeCache.txt" ] ||
    { echo "blob_fetch.sh: $1 is not a configured build tree" >&2; echo "$usage" >&2; exit 2; }
fi
cmake --build "$build" --target blob_fetch >/dev/null
bin=$build/bin/blob_fetch

# shellcheck source=bench/work_folder.sh
. "$root/bench/work_folder.sh" qlx-bench

head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/package.bin"
chmod 644 "$work/package.bin"

# measure NAME CMD...: one line "NAME seconds maxrss_kb"
results=()
measure() {
  local name=$1; shift
  local log=$work/time.log
  /usr/bin/time -v -o "$log" "$@" >/dev/null
  local secs kb
  secs=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log" |
    awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
  kb=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$log")
  results+=("$name $secs $kb")
}

# SQLite
sqlite3 "$work/u.sqlite" \
  "CREATE TABLE QLX_UPT3 (FILENAME TEXT NOT NULL, FPATH TEXT, BUILDNO INTEGER NOT NULL, eFILE BLOB);
   INSERT INTO QLX_UPT3 VALUES ('pkg', 'bin', 1, readfile('$work/package.bin'));"
measure sqlite:blob_fetch "$bin" --dbms SQLite --server "$work/u.sqlite" pkg "$work/out1"
cmp "$work/package.bin" "$work/out1"
measure sqlite:blob_fetch-whole "$bin" --dbms SQLite --server "$work/u.sqlite" --whole pkg "$work/out2"
cmp "$work/package.bin" "$work/out2"
measure sqlite:sqlite3-writefile sqlite3 "$work/u.sqlite" \
  "SELECT writefile('$work/out3', eFILE) FROM QLX_UPT3 WHERE FILENAME = 'pkg';"
rm -f "$work"/out* "$work/u.sqlite"

# PostgreSQL, through psqlODBC as the updater reaches it
bash "$root/tests/fixtures/postgres.sh" start "$servers" >/dev/null
# shellcheck disable=SC1091
. "$servers/postgres.env"
export ODBCSYSINI=$QLX_ODBCSYSINI ODBCINI=$QLX_ODBCINI
export PGPASSWORD=$QLX_PG_ROLE_PASSWORD
psql=(psql -X -q -v ON_ERROR_STOP=1 -h "$QLX_PG_HOST" -p "$QLX_PG_PORT" -U "$QLX_PG_ROLE" -d "$QLX_PG_DATABASE")
PGPASSWORD=$QLX_PG_SUPERPASSWORD psql -X -q -v ON_ERROR_STOP=1 -h "$QLX_PG_HOST" -p "$QLX_PG_PORT" \
  -U "$QLX_PG_SUPERUSER" -d "$QLX_PG_DATABASE" \
  -c "CREATE TABLE QLX_UPT3 (FILENAME TEXT NOT NULL, FPATH TEXT, BUILDNO INTEGER NOT NULL, eFILE BYTEA)" \
  -c "ALTER TABLE QLX_UPT3 ALTER COLUMN eFILE SET STORAGE EXTERNAL" \
  -c "ALTER TABLE QLX_UPT3 OWNER TO \"$QLX_PG_ROLE\"" \
  -c "INSERT INTO QLX_UPT3 VALUES ('pkg', 'bin', 1, pg_read_binary_file('$work/package.bin'))"
server=$QLX_PG_HOST:$QLX_PG_PORT/$QLX_PG_DATABASE
measure postgres:blob_fetch "$bin" --dbms PostgreSQL --server "$server" pkg "$work/out1"
cmp "$work/package.bin" "$work/out1"
measure postgres:blob_fetch-whole "$bin" --dbms PostgreSQL --server "$server" --whole pkg "$work/out2"
cmp "$work/package.bin" "$work/out2"
measure postgres:psql-copy-binary "${psql[@]}" \
  -c "\\copy (SELECT eFILE FROM QLX_UPT3 WHERE FILENAME = 'pkg') TO '$work/out3' WITH (FORMAT binary)"

blob_kb=$((size_mb * 1024))
printf '%-28s %9s %11s %12s %10s %10s\n' run seconds max_rss_MB rss/blob time/peer rss/peer
for db in sqlite postgres; do
  peer_line=$(printf '%s\n' "${results[@]}" | grep "^$db:" | tail -1)
  peer_secs=$(echo "$peer_line" | cut -d' ' -f2)
  peer_kb=$(echo "$peer_line" | cut -d' ' -f3)
  for line in "${results[@]}"; do
    case $line in "$db:"*) ;; *) continue ;; esac
    read -r name secs kb <<<"$line"
    awk -v n="$name" -v s="$secs" -v k="$kb" -v b="$blob_kb" -v ps="$peer_secs" -v pk="$peer_kb" \
      'BEGIN { printf "%-28s %9.2f %11.1f %12.2f %10.2f %10.2f\n", n, s, k / 1024, k / b, s / ps, k / pk }'
  done
done
echo "limit for the updater's way (blob_fetch rows): rss <= blob + 64 MB = $((size_mb + 64)) MB"
