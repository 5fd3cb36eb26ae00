#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the updater
# needs. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config ccache clang-format clang-tidy time
  # window toolkit, fonts and displays
  qt6-base-dev xvfb xauth xdotool fonts-nanum fonts-nanum-coding
  # the database: SQLite's C library, ODBC through unixODBC, and the ODBC
  # drivers of the test data sources and of PostgreSQL
  libsqlite3-dev unixodbc-dev unixodbc libsqliteodbc odbc-postgresql sqlite3
  # the two outside libraries and the settings file
  libzip-dev zlib1g-dev libcurl4-openssl-dev nlohmann-json3-dev
  # package signatures (Ed25519)
  libsodium-dev
  # tests and their servers
  libgtest-dev libgmock-dev postgresql python3 python3-pyftpdlib curl
  zip unzip libarchive-tools strace
  # the Windows back ends, cross-compiled and run under wine
  g++-mingw-w64-x86-64 wine64
)

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
