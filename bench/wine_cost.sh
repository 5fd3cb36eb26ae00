#!/usr/bin/env bash
# What the Windows build costs under wine, against what wine itself costs:
# the small update of the Windows tests (builds 2 and 3 of the demo packages
# from a SQLite database) run by
#   linux   build/ci's qlx_upt with the offscreen window,
#   wine    build/windows' qlx_upt.exe in a private Korean prefix in Xvfb,
# beside the start and exit of a trivial Win32 program (the tests' client
# stand-in) in the same prefix. The wine server is kept running across the
# runs, as it is on a Windows machine that has booted, and the windows are
# unmanaged (see below). Each runs once as a warm-up and then RUNS times into
# a new installation folder; figures are the median (min, max) wall time, and
# every run's install is checked.
# Target: wine <= trivial start + 1.5 x linux.
# Beside each wall time, the CPU time of the program's own process: on a
# shared machine it moves less with the load, and it holds what the updater
# itself costs (not the client it starts). With QLX_WINE_PHASES=1 one more
# run, under wine's relay trace of a few window and process calls, prints
# where the updater's time goes (see bench/wine_phases.awk), with wine's own
# start before the image is mapped and its end after ExitProcess, and the
# same two for the trivial program; the trace slows every phase, so compare
# the phases with each other, not with the figures above.
#   bench/wine_cost.sh [RUNS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
usage="bench/wine_cost.sh [RUNS]   (a whole number; default 5)"
# shellcheck source=bench/lib.sh
. bench/lib.sh
check_args 1 "$@"
runs=${1-5}
count RUNS "$runs"
need_tools Xvfb xdotool zip python3
build ci qlx_upt qlx_publish EZip ftp
build windows qlx_upt qlx_client_record
linux_bin=$root/build/ci/bin
wine_bin=$root/build/windows/bin

work=$(mktemp -d /tmp/qlx-bench-wine.XXXXXX)
# A prefix of the benchmark's own, kept for the next run: others' programs in
# a shared one would be counted and timed too.
export QLX_WINEPREFIX=${QLX_WINEPREFIX:-$qlx_cache/qlx-wine-bench}
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
qlx_start_xvfb 1280x800x24
cleanup() {
  "$QLX_WINESERVER" -k 2>/dev/null || true
  kill "$qlx_xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
echo "making the wine prefix ..." >&2
qlx_wine_prefix_ready
# Xvfb has no window manager, and wine waits up to two seconds for one to
# withdraw each managed window it hides; a Windows desktop has no such wait,
# so the benchmark's windows are unmanaged.
# A server left by an earlier run belongs to an X server that is gone.
"$QLX_WINESERVER" -k 2>/dev/null || true
"$QLX_WINESERVER" -p
"$QLX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

qlx_make_demo_packages "$work"
database=$work/update.db
publish() { "$linux_bin/qlx_publish" --dbms SQLite --server "$database" "$@" >/dev/null; }
publish init
for table in QLX_UPT3 QLX_UPT2; do
  publish add-build base bin 1 "$work/base.zip" core bin 2 "$work/core.zip" \
    reports "" 2 "$work/reports.zip" fixes bin 3 "$work/fixes.zip" --table $table
done

# new_install NAME CLIENT: a fresh installation folder of build 2 whose client
# is CLIENT; prints its path.
new_install() {
  local dir=$work/$1
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$database" "$dir/update.db"
  qlx_write_settings "$dir/quil.psr" SQLite
  cp "$2" "$dir/${2##*/}"
  echo "$dir"
}
installed() { [ "$(tr -d '\r' <"$1/bin/quillon.ver" 2>/dev/null)" = "build 3" ] || fail "run in $1 did not install build 3"; }

# ms COMMAND...: "WALL CPU": the wall milliseconds of COMMAND, and the CPU
# milliseconds (user and system) of its own process. The programs it starts
# and does not wait for (the client) are not in the CPU figure; on a shared
# machine it moves less with the load than the wall time.
ms() {
  local started times TIMEFORMAT='%3U %3S'
  started=$(date +%s%N)
  times=$( { time "$@" >/dev/null 2>&1 || true; } 2>&1)
  echo "$(qlx_ms_since "$started") $(awk '{ printf "%.0f", ($1 + $2) * 1000 }' <<<"$times")"
}

stub=$work/quillon
printf '#!/bin/sh\nexit 0\n' >"$stub"
chmod 755 "$stub"
linux_run() {
  local dir
  dir=$(new_install linux "$stub")
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ms "$linux_bin/qlx_upt" "/PID=1;/PSR=$dir/quil.psr;/SERVER=update.db;/BUILDNO=2;")
  installed "$dir"
}
wine_run() {
  local dir
  dir=$(new_install wine "$wine_bin/qlx_client_record.exe")
  mv "$dir/qlx_client_record.exe" "$dir/quillon.exe"
  (cd "$dir" && ms "$QLX_WINE" "$wine_bin/qlx_upt.exe" "/PID=1;/PSR=$(qlx_windows_path "$dir/quil.psr");/SERVER=update.db;/BUILDNO=2;")
  installed "$dir"
}
mkdir "$work/trivial"
cp "$wine_bin/qlx_client_record.exe" "$work/trivial/"
trivial_run() { ms "$QLX_WINE" "$work/trivial/qlx_client_record.exe"; }

# median_of NAME COMMAND: runs COMMAND once as a warm-up and RUNS times; prints
# "median min max" of the wall milliseconds it printed, then the median of its
# CPU milliseconds.
median_of() {
  local _ file=$work/$1.times wall cpu
  "${@:2}" >/dev/null
  : >"$file"
  for _ in $(seq "$runs"); do "${@:2}" >>"$file"; done
  cut -d' ' -f1 "$file" >"$file.wall"
  cut -d' ' -f2 "$file" >"$file.cpu"
  measured_lines "$1" "$file.wall" "$runs"
  measured_lines "$1's CPU" "$file.cpu" "$runs"
  wall=$(median_min_max <"$file.wall")
  cpu=$(median_min_max <"$file.cpu")
  echo "$wall ${cpu%% *}"
}
median_min_max() {
  sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}

# The calls that mark the phases, and only those: a relay of every call
# would take longer than the run.
relayed='kernel32.CreateToolhelp32Snapshot;kernel32.CreateProcessW;kernel32.ExitProcess'
relayed+=';user32.CreateWindowExW;user32.ShowWindow'
# stamped FILE COMMAND...: runs COMMAND; FILE gets the clock wine stamps its
# trace with (CLOCK_MONOTONIC_RAW, in s) just before COMMAND starts and just
# after it ends, so that the phases outside the program's own life show too.
stamped() {
  python3 -c 'import subprocess, sys, time
raw = lambda: time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
start = raw()
subprocess.call(sys.argv[2:])
end = raw()
open(sys.argv[1], "w").write("%.4f %.4f\n" % (start, end))' "$@"
}
# traced_phases TRACE STAMPS [AWK OPTIONS...]: the phases of one traced run.
traced_phases() {
  local launched ended
  read -r launched ended <"$2"
  awk -v launched="$launched" -v ended="$ended" "${@:3}" -f bench/wine_phases.awk "$1"
}
phases() {
  local dir trace=$work/phases.trace status=0
  dir=$(new_install phases "$wine_bin/qlx_client_record.exe")
  mv "$dir/qlx_client_record.exe" "$dir/quillon.exe"
  "$QLX_WINE" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$relayed" /f >/dev/null 2>&1
  (cd "$dir" && WINEDEBUG=+timestamp,+relay,+loaddll stamped "$trace.stamps" "$QLX_WINE" "$wine_bin/qlx_upt.exe" \
    "/PID=1;/PSR=$(qlx_windows_path "$dir/quil.psr");/SERVER=update.db;/BUILDNO=2;" >/dev/null 2>"$trace") || true
  (cd "$work/trivial" && WINEDEBUG=+timestamp,+relay,+loaddll stamped "$trace.trivial.stamps" \
    "$QLX_WINE" qlx_client_record.exe >/dev/null 2>"$trace.trivial") || true
  "$QLX_WINE" reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1
  echo "phases of one traced wine run, ms:"
  traced_phases "$trace" "$trace.stamps" || status=$?
  echo "the trivial program, traced the same way, ms:"
  traced_phases "$trace.trivial" "$trace.trivial.stamps" -v image=qlx_client_record.exe -v outside=1 || status=$?
  installed "$dir"
  return "$status"
}

read -r trivial trivial_min trivial_max trivial_cpu < <(median_of trivial trivial_run)
read -r linux linux_min linux_max linux_cpu < <(median_of linux linux_run)
read -r wine wine_min wine_max wine_cpu < <(median_of wine wine_run)
allowed() { awk -v t="$1" -v l="$2" 'BEGIN { printf "%.0f", t + 1.5 * l }'; }
allowed=$(allowed "$trivial" "$linux")
allowed_cpu=$(allowed "$trivial_cpu" "$linux_cpu")
echo "runs: $runs after one warm-up; wall times in ms, median (min, max); CPU ms of the program's own process, median"
echo "trivial Win32 program under wine  $trivial ($trivial_min, $trivial_max)  cpu $trivial_cpu"
echo "linux qlx_upt                     $linux ($linux_min, $linux_max)  cpu $linux_cpu"
echo "wine qlx_upt.exe                  $wine ($wine_min, $wine_max)  cpu $wine_cpu"
echo "wine / (trivial + 1.5 x linux): $wine / $allowed = $(ratio "$wine" "$allowed") (target <= 1)"
echo "the same in CPU time:           $wine_cpu / $allowed_cpu = $(ratio "$wine_cpu" "$allowed_cpu")"
if [ "${QLX_WINE_PHASES-}" = 1 ]; then
  phases || fail "the traced run lacks a phase"
fi
