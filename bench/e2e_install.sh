#!/usr/bin/env bash
# End-to-end install of about 200 MB in 50 packages over 3 builds: the updater
# qlx_upt run as the client starts it, against the pipeline a user would script
# with the database's own client and an unzip tool:
#   SQLite:     sqlite3 ... writefile()                  then unzip/bsdtar
#   PostgreSQL: psql \copy ... (FORMAT binary), header   then unzip/bsdtar
#               and trailer cut off with dd
# Both run once as a warm-up and then RUNS times, each run into a new
# installation folder; figures are median (min, max) of the wall time and
# peak RSS (/usr/bin/time). Every run is checked: all packages in upt/ and
# the installed tree identical to the peer's. The pipeline leaves its files to
# be written back later, while the updater flushes what it installs; so the
# pipeline followed by sync is timed too, and reported beside it.
# With --signed, a key pair is made, the publisher also fills a second
# database with the same packages signed, and an updater built with the
# public key (-DQLX_PACKAGE_PUBLIC_KEY, in build/ci-signed) installs those in
# every run beside the unsigned one, in turns first and second; the report
# adds its figures and the ratios signed / unsigned of wall and CPU time.
# Each database's report ends with the split of the updater's time (BLOB read,
# waits for a package, package write, staging, commit), which the updater
# writes to the file QLX_UPT_TIMES names.
#   bench/e2e_install.sh [--signed] [RUNS] [TOTAL_MB] [PACKAGES]   (default 5, 200, 50)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
usage="bench/e2e_install.sh [--signed] [RUNS] [TOTAL_MB] [PACKAGES]   (whole numbers; default 5 200 50)"
# shellcheck source=bench/lib.sh
. bench/lib.sh
signed=0
if [ "${1-}" = --signed ]; then
  signed=1
  shift
fi
check_args 3 "$@"
runs=${1-5}
total_mb=${2-200}
count=${3-50}
count RUNS "$runs"
count TOTAL_MB "$total_mb"
count PACKAGES "$count"
need_tools /usr/bin/time /usr/bin/python3 unzip bsdtar sqlite3 psql dd
bin=$root/build/ci/bin
build ci qlx_upt qlx_publish EZip ftp

# shellcheck source=bench/work_folder.sh
. "$root/bench/work_folder.sh" qlx-bench-e2e

# The signed updater: qlx_upt as a publisher builds it, with the public half of
# a key pair made for this run.
signed_bin=
if [ "$signed" -eq 1 ]; then
  "$bin/qlx_publish" keygen "$work/keys" >/dev/null
  log=$(mktemp)
  echo "building qlx_upt with the new key in build/ci-signed ..." >&2
  if ! { cmake --preset ci -B "$root/build/ci-signed" \
    -DQLX_PACKAGE_PUBLIC_KEY="$(cat "$work/keys/package.pub")" &&
    cmake --build "$root/build/ci-signed" --parallel 2 --target qlx_upt EZip ftp; } >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    fail "could not build the signed updater"
  fi
  rm -f "$log"
  signed_bin=$root/build/ci-signed/bin
fi

mkdir -p "$work/zips"
chmod 755 "$work/zips"
/usr/bin/python3 "$root/bench/e2e/make_packages.py" "$work/zips" "$count" "$total_mb" >"$work/list"
chmod 644 "$work"/zips/*.zip
zip_bytes=$(cat "$work"/zips/*.zip | wc -c)
largest=$(stat -c %s "$work"/zips/*.zip | sort -n | tail -1)
echo "packages: $count zips, $zip_bytes bytes, largest $largest bytes"

# Unzip tool of the pipeline: whichever of unzip and bsdtar unpacks the whole
# set faster here.
time_extract() { # TOOL -> seconds
  local out=$work/try
  rm -rf "$out"
  mkdir -p "$out"
  local start end
  start=$(date +%s.%N)
  for z in "$work"/zips/*.zip; do
    case $1 in
      unzip) unzip -o -q "$z" -d "$out" ;;
      bsdtar) bsdtar -xf "$z" -C "$out" ;;
    esac
  done
  end=$(date +%s.%N)
  rm -rf "$out"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
time_extract unzip >/dev/null
t_unzip=$(time_extract unzip)
t_bsdtar=$(time_extract bsdtar)
extractor=unzip
awk -v u="$t_unzip" -v b="$t_bsdtar" 'BEGIN { exit !(b < u) }' && extractor=bsdtar
echo "unzip tool: $extractor (whole set: unzip $t_unzip s, bsdtar $t_bsdtar s)"

publish() { # [--key FILE] DBMS SERVER [LOGIN...]
  local key=()
  if [ "$1" = --key ]; then
    key=(--key "$2")
    shift 2
  fi
  "$bin/qlx_publish" "${key[@]}" --dbms "$1" --server "$2" "${@:3}" init >/dev/null
  # The whole build in one call and one transaction; unsigned packages go in
  # with a warning.
  local start end
  start=$(date +%s.%N)
  "$bin/qlx_publish" "${key[@]}" --dbms "$1" --server "$2" "${@:3}" \
    add-build --manifest "$work/list" >/dev/null 2>"$work/publish.err" ||
    { cat "$work/publish.err" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" -v n="$count" -v db="$1" 'BEGIN {
    printf "publish  %s: %d packages in %.2f s, %.2f ms a package (target <= 3 ms: 10,000 in 30 s)\n",
      db, n, b - a, (b - a) * 1000 / n }'
}

# Pipeline scripts: one client session exports every package of the list into
# upt/, then each package is unpacked into its target folder below the
# installation folder (the current folder).
cat >"$work/extract.sh" <<EOF
while read -r name fpath buildno zip; do
  mkdir -p "\$fpath"
  case $extractor in
    unzip) unzip -o -q "upt/\$name.zip" -d "\$fpath" ;;
    bsdtar) bsdtar -xf "upt/\$name.zip" -C "\$fpath" ;;
  esac
done <"$work/list"
EOF
{
  while read -r name fpath buildno zip; do
    echo "SELECT writefile('upt/$name.zip', eFILE) FROM QLX_UPT3 WHERE FILENAME = '$name';"
  done <"$work/list"
} >"$work/sqlite-export.sql"
cat >"$work/sqlite-pipeline.sh" <<EOF
set -e
mkdir -p upt
sqlite3 "$work/u.sqlite" <"$work/sqlite-export.sql" >/dev/null
. "$work/extract.sh"
EOF
# Binary COPY of one bytea column: an 11-byte signature, a 4-byte flags field
# and a 4-byte header extension length (19 bytes), then per row a 2-byte field
# count and a 4-byte field length (6 bytes), the bytes, and a 2-byte trailer.
{
  while read -r name fpath buildno zip; do
    echo "\\copy (SELECT eFILE FROM QLX_UPT3 WHERE FILENAME = '$name') TO 'upt/$name.copy' WITH (FORMAT binary)"
  done <"$work/list"
} >"$work/pg-export.sql"
cat >"$work/pg-pipeline.sh" <<EOF
set -e
mkdir -p upt
psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "\$PGPORT" -U QUIL_UPT -d "\$PGDATABASE" -f "$work/pg-export.sql"
while read -r name fpath buildno zip; do
  size=\$(stat -c %s "upt/\$name.copy")
  dd if="upt/\$name.copy" of="upt/\$name.zip" bs=4M iflag=skip_bytes,count_bytes \\
    skip=25 count=\$((size - 27)) status=none
  rm "upt/\$name.copy"
done <"$work/list"
. "$work/extract.sh"
EOF

# new_install DBMS -> prints the path of a new installation folder
seq_no=0
new_install() {
  seq_no=$((seq_no + 1))
  local dir
  dir=$(mktemp -d "$work/install-$1-$seq_no-XXXXXX")
  printf '{"rows":[{"CODE":"DataBase-DBMS","VALUE":"%s"}]}\n' "$1" >"$dir/quil.psr"
  printf '#!/bin/sh\nexit 0\n' >"$dir/quillon"
  chmod 755 "$dir/quillon"
  echo "$dir"
}

# check DIR REFERENCE: every package file is in upt/ and the installed tree is
# the reference tree
check() {
  local n
  n=$(find "$1/upt" -name '*.zip' | wc -l)
  [ "$n" -eq "$count" ] || { echo "run in $1 left $n of $count packages" >&2; return 1; }
  [ -z "$2" ] && return 0
  while read -r f; do
    diff -r -q "$1/$f" "$2/$f" >/dev/null || { echo "run in $1: $f differs from $2" >&2; return 1; }
  done < <(cut -d' ' -f2 "$work/list" | cut -d/ -f1 | sort -u)
}

# run_updater BIN DIR SERVER: runs the updater BIN in the installation folder
# DIR against SERVER; prints "seconds kB cpu-seconds" (user + system). A box
# means a failed run.
run_updater() {
  local dir=$2
  (cd "$dir" && QT_QPA_PLATFORM=offscreen QLX_BOX_LOG="$dir.boxes" QLX_BOX_ANSWERS=no \
    QLX_UPT_TIMES="$dir.times" \
    /usr/bin/time -f '%e %M %U %S' -o "$work/time.u" \
    "$1" "/PID=1;/PSR=$dir/quil.psr;/SERVER=$3;/BUILDNO=1;")
  if [ -s "$dir.boxes" ]; then
    echo "updater showed boxes:" >&2
    cat "$dir.boxes" >&2
    exit 1
  fi
  rm -f "$dir.boxes"
  tail -1 "$work/time.u" | awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }'
}

results=()
# bench LABEL DBMS SERVER PIPELINE_SCRIPT [SIGNED_SERVER]
bench() {
  local label=$1 dbms=$2 server=$3 script=$4 signed_server=${5-}
  local reference='' dir sdir run u p y s=''
  for run in $(seq 0 "$runs"); do # run 0 warms up
    dir=$(new_install "$dbms")
    sdir=
    [ -n "$signed_server" ] && sdir=$(new_install "$dbms")
    # With two updaters, each goes first in every other run.
    if [ -n "$sdir" ] && [ $((run % 2)) -eq 1 ]; then
      s=$(run_updater "$signed_bin/qlx_upt" "$sdir" "$signed_server")
      u=$(run_updater "$bin/qlx_upt" "$dir" "$server")
    else
      u=$(run_updater "$bin/qlx_upt" "$dir" "$server")
      [ -n "$sdir" ] && s=$(run_updater "$signed_bin/qlx_upt" "$sdir" "$signed_server")
    fi
    # shellcheck disable=SC2086 # "seconds kB cpu-seconds"
    measured "the updater's run $run" $u
    # shellcheck disable=SC2086
    [ -n "$sdir" ] && measured "the signed updater's run $run" $s
    local peer
    peer=$(new_install "$dbms")
    (cd "$peer" && /usr/bin/time -f '%e %M' -o "$work/time.p" bash "$script")
    p=$(tail -1 "$work/time.p")
    # shellcheck disable=SC2086
    measured "the pipeline's run $run" $p
    /usr/bin/time -f '%e' -o "$work/time.y" sync
    y=$(tail -1 "$work/time.y")
    measured "the sync after the pipeline's run $run" "$y"
    check "$peer" ""
    check "$dir" "$peer"
    [ -n "$sdir" ] && check "$sdir" "$peer"
    [ -z "$reference" ] && reference=$peer
    [ "$run" -gt 0 ] && results+=("$label $u $p $y $s")
    [ "$run" -gt 0 ] && [ -f "$dir.times" ] && cat "$dir.times" >>"$work/split-$label"
    rm -f "$dir.times" "$sdir.times"
    [ "$peer" != "$reference" ] && rm -rf "$peer"
    rm -rf "$dir" "$sdir"
  done
  rm -rf "$reference"
}

# SQLite
publish SQLite "$work/u.sqlite"
signed_sqlite=
if [ "$signed" -eq 1 ]; then
  signed_sqlite=$work/s.sqlite
  publish --key "$work/keys/package.key" SQLite "$signed_sqlite"
fi
bench sqlite SQLite "$work/u.sqlite" "$work/sqlite-pipeline.sh" "$signed_sqlite"
rm -f "$work/u.sqlite" "$work/s.sqlite"

# PostgreSQL
bash "$root/tests/fixtures/postgres.sh" start "$servers" >/dev/null
# shellcheck disable=SC1091
. "$servers/postgres.env"
# The publisher reads the password from the environment too, as psql does,
# so that it never shows in the process list.
export PGPASSWORD=$QLX_PG_ROLE_PASSWORD PGPORT=$QLX_PG_PORT PGDATABASE=$QLX_PG_DATABASE
export QLX_PUBLISH_PASSWORD=$QLX_PG_ROLE_PASSWORD
server=$QLX_PG_HOST:$QLX_PG_PORT/$QLX_PG_DATABASE
publish PostgreSQL "$server" --user "$QLX_PG_ROLE"
signed_pg=
if [ "$signed" -eq 1 ]; then
  # The fixture's second database, which the role owns as well.
  signed_pg=$QLX_PG_HOST:$QLX_PG_PORT/qlx_dsn
  publish --key "$work/keys/package.key" PostgreSQL "$signed_pg" --user "$QLX_PG_ROLE"
fi
bench postgres PostgreSQL "$server" "$work/pg-pipeline.sh" "$signed_pg"

# split DB: where the unsigned updater's time went, summed over the measured
# runs; the BLOB reads run on a thread of their own beside the rest.
split() {
  [ -s "$work/split-$1" ] || fail "no time split of the $1 runs"
  awk -v db="$1" '
    { name = substr($0, 1, 28); sub(/ +$/, "", name); if (!(name in t)) order[++n] = name; t[name] += substr($0, 29) + 0 }
    END { total = t[order[1]]; for (i = 2; i <= n; i++)
      printf "%-8s split: %-28s %7.3f s %5.1f %% of the update\n", db, order[i], t[order[i]], (total > 0 ? 100 * t[order[i]] / total : 0) }' "$work/split-$1"
}

# Report: median (min, max) per database, the time ratio of the medians and of
# the minima, and the updater's peak RSS against 1.5 x largest package + 32 MB.
echo "runs: $runs after one warm-up; times in s, peak RSS in MB"
for db in sqlite postgres; do
  printf '%s\n' "${results[@]}" | awk -v db="$db" -v big="$largest" -v runs="$runs" -v count="$count" '
    $1 == db && (NF == 7 || NF == 10) { n++; ut[n] = $2; ur[n] = $3 / 1024; pt[n] = $5; pr[n] = $6 / 1024; ps[n] = $5 + $7 }
    $1 == db && NF == 10 { ns++; st[ns] = $8; sr[ns] = $9 / 1024; q[ns] = $8 / $2; c[ns] = $4 > 0 ? $10 / $4 : 0 }
    function sort(a,   i, j, t) { for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t } }
    function med(a) { return a[int((n + 1) / 2)] }
    END {
      if (n != runs) { printf "%s: %d of %d runs measured\n", db, n, runs > "/dev/stderr"; exit 1 }
      if (ns > 0 && ns != n) { printf "%s: %d of %d signed runs measured\n", db, ns, n > "/dev/stderr"; exit 1 }
      if (ns > 0) {
        # Per-run ratios first: the two updaters of one run met the same load.
        m = n; n = ns; sort(q); sort(c); sort(st); sort(sr)
        printf "%-8s signed   %6.2f (%.2f, %.2f) s  rss %6.1f (%.1f, %.1f) MB\n", db, med(st), st[1], st[n], med(sr), sr[1], sr[n]
        printf "%-8s time ratio signed/unsigned updater: median of runs %.3f (min %.3f, max %.3f) (target <= 1.05)\n", db, med(q), q[1], q[n]
        # What the check costs whatever else the machine runs meanwhile.
        printf "%-8s cpu time (user + system) ratio signed/unsigned: median of runs %.3f (min %.3f, max %.3f)\n", db, med(c), c[1], c[n]
        n = m
      }
      sort(ut); sort(ur); sort(pt); sort(pr); sort(ps)
      if (pt[1] <= 0) { printf "%s: a pipeline run took no measurable time\n", db > "/dev/stderr"; exit 1 }
      target = db == "sqlite" ? 0.5 : 0.6
      limit = 1.5 * big / 1048576 + 32
      printf "%-8s updater  %6.2f (%.2f, %.2f) s  rss %6.1f (%.1f, %.1f) MB\n", db, med(ut), ut[1], ut[n], med(ur), ur[1], ur[n]
      printf "%-8s pipeline %6.2f (%.2f, %.2f) s  rss %6.1f (%.1f, %.1f) MB\n", db, med(pt), pt[1], pt[n], med(pr), pr[1], pr[n]
      printf "%-8s pipeline then sync %6.2f (%.2f, %.2f) s\n", db, med(ps), ps[1], ps[n]
      printf "%-8s time ratio updater/pipeline: median %.2f, min %.2f (target <= %.1f)\n", db, med(ut) / med(pt), ut[1] / pt[1], target
      printf "%-8s time ratio updater/(pipeline then sync): median %.2f, min %.2f\n", db, med(ut) / med(ps), ut[1] / ps[1]
      printf "%-8s updater per package: median %.2f ms, min %.2f ms (target <= 2 ms)\n", db, med(ut) * 1000 / count, ut[1] * 1000 / count
      printf "%-8s peak rss max %.1f MB vs limit %.1f MB (1.5 x %.1f MB + 32): ratio %.2f\n", db, ur[n], limit, big / 1048576, ur[n] / limit
      # Thousands of small packages have a limit of their own: what a run
      # keeps per package must not add up.
      if (count >= 1000) printf "%-8s peak rss max %.1f MB vs limit 64 MB for many packages: ratio %.2f\n", db, ur[n], ur[n] / 64
    }'
  split "$db"
done
