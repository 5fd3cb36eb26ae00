# shellcheck shell=bash disable=SC2154 # $root comes from the script
# Sourced by the benchmarks that start a PostgreSQL server: makes the scratch
# folder $work (readable by the server's user) with $servers inside it, and
# stops the server and removes the folder when the benchmark exits.
#   . bench/work_folder.sh PREFIX      (needs $root, the checkout)
work=$(mktemp -d "/tmp/$1.XXXXXX")
chmod 755 "$work"
servers=$work/servers
cleanup() {
  bash "$root/tests/fixtures/postgres.sh" stop "$servers" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
