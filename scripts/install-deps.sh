#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the updater
# needs, and the further packages named on the command line. Safe to run
# again: only what is missing is fetched.
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"

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
  # the compression methods libzip leaves to EZip, and whole-entry deflate
  liblzma-dev libzstd-dev libdeflate-dev
  # package signatures: Ed25519, and SHA-256 of the packages
  libsodium-dev libssl-dev
  # tests and their servers
  libgtest-dev libgmock-dev postgresql python3 python3-pyftpdlib curl
  zip unzip libarchive-tools strace 7zip zstd locales
  # the Windows back ends, cross-compiled and run under wine
  g++-mingw-w64-x86-64 wine64
)

qlx_install_packages "${packages[@]}" "$@"

# Wine takes the code page of its programs from the host's locale: the
# client machines' Korean one (949) has to exist for the Windows tests.
if ! locale -a 2>/dev/null | grep -qix 'ko_KR.utf-\?8'; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" localedef -i ko_KR -f UTF-8 ko_KR.UTF-8
fi
