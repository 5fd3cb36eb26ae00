#!/usr/bin/env bash
# The updater's main job, for real: builds the project, lays out a demo
# installation folder with a settings file, a SQLite update database filled by
# qlx_publish (packages of two builds) and a stand-in client program, runs the
# updater there and shows what happened.
#   scripts/demo.sh            the current updater, qlx_upt
#   scripts/demo.sh --legacy   the legacy updater, qlx_upt3, through ODBC
#   scripts/demo.sh --windows  qlx_upt.exe, cross-built, under wine in Xvfb;
#                              saves a screenshot of its window
# In a real window when a display is present, offscreen otherwise (the boxes
# are then answered by themselves and printed).
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
root=$qlx_root
cd "$root"
legacy=no
windows=no
case "${1:-}" in
  --legacy) legacy=yes ;;
  --windows) windows=yes ;;
  "") ;;
  *) echo "usage: scripts/demo.sh [--legacy | --windows]" >&2; exit 2 ;;
esac

if [ "$windows" = yes ]; then
  bash scripts/windows.sh
  bin="$root/build/windows/bin"
  export QLX_WINEPREFIX=${QLX_WINEPREFIX:-$qlx_demo_wineprefix}
  # shellcheck source=scripts/wine-env.sh
  . scripts/wine-env.sh
  qlx_wine_prefix_ready
  # The stand-in client is a Windows program too.
  publisher=("$QLX_WINE" "$bin/qlx_publish.exe")
  zip_path() { qlx_windows_path "$1"; }
else
  bash scripts/install-deps.sh
  qlx_build ci qlx_upt qlx_upt3 qlx_publish EZip ftp
  bin="$root/build/ci/bin"
  publisher=("$bin/qlx_publish")
  zip_path() { printf '%s' "$1"; }
fi

demo="$root/demo/install-$(date +%Y%m%d-%H%M%S)"
work="$demo.work"
mkdir -p "$demo/bin" "$work"
cd "$demo"

# Packages: build 1 (already installed), build 2 and build 3.
qlx_make_demo_packages "$work"

publish() { "${publisher[@]}" --dbms SQLite --server update.db "$@" >/dev/null; }
publish init
publish add-build base    bin 1 "$(zip_path "$work/base.zip")"
publish add-build core    bin 2 "$(zip_path "$work/core.zip")"
publish add-build reports ""  2 "$(zip_path "$work/reports.zip")"
publish add-build fixes   bin 3 "$(zip_path "$work/fixes.zip")"
publish add-build base    bin 1 "$(zip_path "$work/base.zip")" --table QLX_UPT2
publish add-build core    bin 2 "$(zip_path "$work/core.zip")" --table QLX_UPT2

qlx_write_settings quil.psr SQLite

# The stand-in client records how it was started.
if [ "$windows" = yes ]; then
  cp "$bin/qlx_client_record.exe" quillon.exe
else
  cat > quillon <<'SH'
#!/bin/sh
{ echo "started: $0"; for a in "$@"; do echo "argument: [$a]"; done; } > "$(dirname "$0")/client-started.txt"
SH
  chmod +x quillon
fi

updater=qlx_upt
args="/PID=$$;/PSR=$demo/quil.psr;/SERVER=update.db;/BUILDNO=2;"
env=()
if [ "$legacy" = yes ]; then
  updater=qlx_upt3
  # The legacy updater's database interface is fixed; its server is an ODBC
  # data source, here one over the same SQLite file.
  cat > "$work/odbcinst.ini" <<INI
[SQLite3]
Driver=$(find /usr/lib -name libsqlite3odbc.so | head -n 1)
INI
  cat > "$work/odbc.ini" <<INI
[QUILLON_DEMO]
Driver=SQLite3
Database=$demo/update.db
INI
  env=(ODBCSYSINI="$work" ODBCINI="$work/odbc.ini")
  args="/PSR=$demo/quil.psr;/SERVER=QUILLON_DEMO;/BUILDNO=2;"
fi
if [ "$windows" = yes ]; then
  args="/PID=1;/PSR=$(qlx_windows_path "$demo/quil.psr");/SERVER=update.db;/BUILDNO=2;"
elif [ -z "${DISPLAY:-}" ]; then
  # No session here either: a private runtime folder keeps Qt from warning.
  mkdir -p -m 700 "$work/runtime"
  env+=(QT_QPA_PLATFORM=offscreen QLX_BOX_LOG="$work/boxes.log" XDG_RUNTIME_DIR="$work/runtime")
fi

echo
echo "== Running $updater in $demo"
echo "   $args"
status=0
if [ "$windows" = yes ]; then
  bash "$root/scripts/windows_demo_run.sh" "$bin/qlx_upt.exe" "$args" "$demo/window.png" || status=$?
else
  started=$(date +%s%N)
  env "${env[@]}" "$bin/$updater" "$args" || status=$?
  echo "== The updater ran $(qlx_ms_since "$started") ms"
fi
sleep 0.5

echo
echo "== Exit status: $status"
if [ -s "$work/boxes.log" ]; then
  echo "== Message boxes (answered by themselves):"
  sed 's/^/   /' "$work/boxes.log"
fi
echo "== Files installed:"
{ find bin reports -type f 2>/dev/null || true; } | sort | while read -r f; do printf '   %-28s %s\n' "$f" "$(head -n 1 "$f" | tr -d '\r')"; done
echo "== Packages kept in upt/:"
{ ls upt 2>/dev/null || true; } | sed 's/^/   /'
echo "== QL_UPT_TIME in quil.psr: [$(qlx_setting quil.psr QL_UPT_TIME)]"
echo "== The relaunched client:"
for _ in $(seq 30); do [ -f client-started.txt ] && break; sleep 0.1; done
if [ -f client-started.txt ]; then sed 's/^/   /' client-started.txt; else echo "   (not started)"; fi
[ -f window.png ] && echo "== Screenshot of the window: $demo/window.png"
rm -rf "$work"
exit "$status"
