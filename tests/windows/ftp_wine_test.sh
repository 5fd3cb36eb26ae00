#!/usr/bin/env bash
# ftp.dll under wine against the real update FTP server (pyftpdlib on the
# host): a 5 MB package arrives byte for byte, a missing file and a wrong
# folder fail and leave nothing behind. ASCII names only: wine's own socket
# layer is not what is tested here, and it mangles others.
#   ftp_wine_test.sh BIN
set -euo pipefail
BIN=$(realpath "$1")
. "$(dirname "$0")/wine_session.sh"
servers=$(cd "$(dirname "$0")/../support/ftp_servers" && pwd)

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home/Quillon_Down" "$work/local"
head -c 5000000 /dev/urandom >"$work/home/Quillon_Down/package.zip"

/usr/bin/python3 "$servers/ftp_server.py" "$work/home" >"$work/port" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
[ -n "$port" ] || { cat "$work/server.log" >&2; exit 1; }

fetch() { "$QLX_WINE" "$BIN/qlx_ftp_check.exe" "127.0.0.1:$port" "$1" "$2" "$(qlx_windows_path "$work/local/$3")" | tr -d '\r'; }

check "a package is fetched" fetch Quillon_Down package.zip package.zip
check "byte for byte" cmp -s "$work/home/Quillon_Down/package.zip" "$work/local/package.zip"
check "a missing file fails" fails fetch Quillon_Down missing.zip missing.zip
check "and leaves no file" test ! -e "$work/local/missing.zip"
check "a wrong folder fails" fails fetch Nowhere package.zip other.zip
check "nothing but the package is left" equals "$(ls "$work/local")" "package.zip"
finish
