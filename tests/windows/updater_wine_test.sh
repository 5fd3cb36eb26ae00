#!/usr/bin/env bash
# The Windows updater as the client starts it, under wine in an X server.
#   updater_wine_test.sh BIN SCENARIO [POSTGRES_ENV]
# Scenarios:
#   no-arguments   the refusal box, and nothing else
#   sqlite         a build-list update from a SQLite database, the client relaunched
#   unreachable    a database that cannot be reached: both boxes, the time stamp, no relaunch
#   missing-table  a file list that cannot be read is a failure, not an empty list
#   running-client a running quilmsg.exe is counted, asked about and terminated
#   postgres       a build-list update from PostgreSQL through wine's odbc32 and the
#                  host's unixODBC to psqlODBC, with the second password
#   legacy         qlx_upt3.exe through an ODBC data source
#   signed         an updater built with the tests' key refuses a changed package
#                  and a signed one moved to another folder, with nothing
#                  installed, then installs the signed ones
#   korean-packages  a package named and placed in Hangul with CP949 and UTF-8
#                  entry names, through qlx_upt.exe while a bin\tool.exe that
#                  it replaces runs, then through qlx_upt3.exe
#   kills          the updater's wine process killed at eleven moments while it
#                  saves settings, downloads, stages, journals, moves and cleans
#                  up: every file is old or new, and the next start installs
#                  the whole new build with nothing left over
#   full-disk      the installation on a small drive E: that is full before the
#                  run, then one that fills while staging: the settings and the
#                  old build stay, the boxes tell it, and once there is room the
#                  next start installs with nothing left over
#   single-package the window's update by UPDATE_ID into a folder code page 949
#                  cannot name: every file under its exact name
#   in-use         in a Hangul installation folder, a file held open without
#                  sharing for the whole run is named and nothing changes, also
#                  when started again while it is held; one held for a second
#                  is waited for
set -euo pipefail
BIN=$(realpath "$1")
scenario=$2
postgres_env=${3:-}
. "$(dirname "$0")/wine_session.sh"
[ -n "${DISPLAY:-}" ] || { echo "needs an X server (DISPLAY)" >&2; exit 1; }

work=$(mktemp -d)
client_pid=
undo_on_exit=:
cleanup() {
  # Only this test's programs: other tests may run in the same prefix.
  for pid in ${wine_pid:-} $client_pid; do kill "$pid" 2>/dev/null || true; done
  $undo_on_exit
  rm -rf "$work"
}
trap cleanup EXIT
install=$work/${QLX_TEST_INSTALL_NAME:-install}
mkdir -p "$install/bin"
cp "$BIN/qlx_client_record.exe" "$install/quillon.exe"
psr_unix=$install/quil.psr
psr=$(qlx_windows_path "$psr_unix")

publish() { "$QLX_WINE" "$BIN/qlx_publish.exe" "$@" >/dev/null; }

# Packages of builds 1 to 3; the client has build 2, so builds 2 and 3 install.
qlx_make_demo_packages "$work"
fill_database() { # PUBLISHER_OPTIONS... ; add-build for both tables, or for those in $tables
  local table
  for table in ${tables:-QLX_UPT3 QLX_UPT2}; do
    publish "$@" add-build base bin 1 "$(qlx_windows_path "$work/base.zip")" --table $table
    publish "$@" add-build core bin 2 "$(qlx_windows_path "$work/core.zip")" --table $table
    publish "$@" add-build reports "" 2 "$(qlx_windows_path "$work/reports.zip")" --table $table
    publish "$@" add-build fixes bin 3 "$(qlx_windows_path "$work/fixes.zip")" --table $table
  done
}

# The data source QUILLON_LEGACY over the installation's SQLite database.
use_legacy_source() {
  cat >"$work/odbcinst.ini" <<INI
[SQLite3]
Driver=$(find /usr/lib -name libsqlite3odbc.so -print -quit)
INI
  cat >"$work/odbc.ini" <<INI
[QUILLON_LEGACY]
Driver=SQLite3
Database=$install/update.db
INI
  export ODBCSYSINI=$work ODBCINI=$work/odbc.ini
}

run_updater() { # EXE [ARGUMENTS]; in the installation folder, which is its current folder
  cd "$install"
  wine_start "$BIN/$1" "${@:2}"
  cd - >/dev/null
}

# Kills the updater as soon as CONDITION holds: the run's own files tell
# where it is, however busy the machine.
journal=$install/upt/.qlx_upt.run
journal_has() { { [ "$(grep -c "^$1"$'\t'"\\|^$1\$" "$journal")" -ge "${2:-1}" ]; } 2>/dev/null; } # KIND [COUNT]
zip_written() { [ -e "$install/upt/$1.zip" ]; }
moved() { [ "$(grep -lF "of build 3" "$install/bin/many/"*.dat 2>/dev/null | wc -l)" -ge "$1" ]; } # COUNT
kill_when() { # CONDITION... ; at the latest after a minute, looking every $kill_poll s
  local poll=${kill_poll:-0.01} polls=0 limit
  limit=$(awk -v p="$poll" 'BEGIN { print int(60 / p) }')
  while kill -0 "$wine_pid" 2>/dev/null && ! "$@" && [ $((polls += 1)) -lt "$limit" ]; do sleep "$poll"; done
  kill -9 "$wine_pid" 2>/dev/null || true
  wine_wait 60 || true
}

# The installed files with their checksums; what is ours to leave is not among them.
files_of() {
  (cd "$install" && find . -type f ! -path './upt/*' ! -path '*/.ezip-staging-*' \
    ! -name '*quil.psr*' ! -name update.db ! -name client-started.txt -print0 |
    sort -z | xargs -0 md5sum)
}
leftovers() { (cd "$install" && find . -name '.*' ! -name . ! -name "$(basename "${filler:-.}")"); }

installed_build() { cat "$install/bin/quillon.ver" 2>/dev/null | tr -d '\r' || echo "<none>"; }
client_started() { [ -f "$install/client-started.txt" ]; }
client_gone() { # at the latest after ten seconds
  local i
  for i in $(seq 100); do pgrep -f "$(basename "$work").install.quillon" >/dev/null || return 0; sleep 0.1; done
  return 1
}
wait_for_client() { local i; for i in $(seq 50); do client_started && return 0; sleep 0.1; done; return 1; }

expect_whole_update() {
  check "the exit status is 0" equals "$wine_status" 0
  check "build 3 is installed" equals "$(installed_build)" "build 3"
  check "build 2's core is installed" equals "$(cat "$install/bin/lib/core.dat" 2>/dev/null)" "core of build 2"
  check "build 3's fix is installed" equals "$(cat "$install/bin/lib/fix.dat" 2>/dev/null)" "fix of build 3"
  check "the Korean file name is installed" test -f "$install/reports/월간.txt"
  check "the packages stay in upt" test -f "$install/upt/fixes.zip"
  check "build 1 was not fetched" test ! -e "$install/upt/base.zip"
  check "QL_UPT_TIME records a reached database" equals "$(setting "$psr_unix" QL_UPT_TIME)" ""
  check "the other settings stay" equals "$(setting "$psr_unix" Client-Theme)" "classic"
  check "the client is relaunched" wait_for_client
  check "the client gets the settings path, unquoted and whole" \
    equals "$(sed -n 2p "$install/client-started.txt" 2>/dev/null | tr -d '\r')" "argument: [$psr]"
}

case $scenario in
  no-arguments)
    run_updater qlx_upt.exe
    check "the refusal box appears" answer_box "확인!" Return
    check "it says this is no proper upgrade" equals "$(box_text)" "정상적인 업그레이드 방식이 아닙니다."
    check "it has one OK button, labelled as Korean Windows labels it" equals "$(box_buttons)" "확인"
    wine_wait 30
    check "the exit status says the start was refused" equals "$wine_status" 1
    check "the client is not started" test ! -e "$install/client-started.txt"
    check "no folder is made" test ! -e "$install/upt"
    ;;
  sqlite)
    write_settings "$psr_unix" SQLite
    (cd "$install" && publish --dbms SQLite --server update.db init && fill_database --dbms SQLite --server update.db)
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    check "the window of qlx_upt.exe is on screen" picture "Quillon 설치" 60
    wine_wait 120
    expect_whole_update
    ;;
  unreachable)
    write_settings "$psr_unix" SQLite
    run_updater qlx_upt.exe "/PSR=$psr;/SERVER=missing.db;/BUILDNO=2;"
    check "the database's error is shown" answer_box "Err!" Return
    check "the error names the SQL code" test "$(box_text | cut -c1-3)" = "-1/"
    check "the web-site box follows" answer_box "에러!" Return
    check "it sends the user to the web site" equals "$(box_text)" "홈페이지에서 직접 업그레이드 하세요."
    wine_wait 30
    check "the exit status says the database was not reached" equals "$wine_status" 2
    check "QL_UPT_TIME holds the minutes since 2010" grep -qE '^[0-9]{6,}$' <<<"$(setting "$psr_unix" QL_UPT_TIME)"
    check "the missing database is not created" test ! -e "$install/missing.db"
    sleep 1
    check "the client is not relaunched" test ! -e "$install/client-started.txt"
    ;;
  running-client)
    write_settings "$psr_unix" SQLite
    (cd "$install" && publish --dbms SQLite --server update.db init && fill_database --dbms SQLite --server update.db)
    cp "$BIN/qlx_sleeper.exe" "$work/quilmsg.exe"
    "$QLX_WINE" "$work/quilmsg.exe" &
    client_pid=$!
    sleep 1
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    check "the question about running programs appears" answer_box "확인!" y
    check "it counts one running program" equals "$(box_text)" \
      "현재 Quillon 혹은 연관된 프로그램이 1개 실행중입니다.\\r\\n모든 프로그램을 종료 후에 업데이트를 계속 진행하시겠습니까?"
    check "it asks Yes or No" equals "$(box_buttons)" "&Yes,&No"
    wine_wait 120
    check "quilmsg.exe was terminated" bash -c "for i in \$(seq 50); do kill -0 $client_pid 2>/dev/null || exit 0; sleep 0.1; done; exit 1"
    expect_whole_update
    ;;
  missing-table)
    write_settings "$psr_unix" SQLite
    (cd "$install" && publish --dbms SQLite --server update.db init)
    /usr/bin/python3 -c 'import sqlite3, sys; db = sqlite3.connect(sys.argv[1]); db.execute("DROP TABLE QLX_UPT3"); db.commit()' \
      "$install/update.db"
    run_updater qlx_upt.exe "/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    check "the failed query is shown" answer_box "Err!" Return
    check "with the driver's words" grep -q 'no such table' <<<"$(box_text)"
    check "the web-site box follows" answer_box "에러!" Return
    wine_wait 30
    check "the exit status says the update failed" equals "$wine_status" 4
    check "QL_UPT_TIME records a reached database" equals "$(setting "$psr_unix" QL_UPT_TIME)" ""
    sleep 1
    check "the client is not relaunched" test ! -e "$install/client-started.txt"
    ;;
  postgres)
    [ -f "$postgres_env" ] || { echo "needs the PostgreSQL fixture's environment file" >&2; exit 1; }
    # shellcheck disable=SC1090
    . "$postgres_env"
    export ODBCSYSINI=$QLX_ODBCSYSINI ODBCINI=$QLX_ODBCINI
    server="$QLX_PG_HOST:$QLX_PG_PORT/$QLX_PG_DATABASE"
    publish --dbms PostgreSQL --server "$server" init
    fill_database --dbms PostgreSQL --server "$server"
    # The database takes only the second password: the first connect fails.
    PGPASSWORD=$QLX_PG_SUPERPASSWORD /usr/bin/psql -X -q -h "$QLX_PG_HOST" -p "$QLX_PG_PORT" \
      -U "$QLX_PG_SUPERUSER" -d postgres -c "ALTER ROLE \"$QLX_PG_ROLE\" PASSWORD 'MWQRSB7364HUYTNF'"
    write_settings "$psr_unix" PostgreSQL
    run_updater qlx_upt.exe "/PSR=$psr;/SERVER=$server;/BUILDNO=2;"
    wine_wait 120 || true
    PGPASSWORD=$QLX_PG_SUPERPASSWORD /usr/bin/psql -X -q -h "$QLX_PG_HOST" -p "$QLX_PG_PORT" \
      -U "$QLX_PG_SUPERUSER" -d postgres -c "ALTER ROLE \"$QLX_PG_ROLE\" PASSWORD '$QLX_PG_ROLE_PASSWORD'"
    expect_whole_update
    ;;
  legacy)
    write_settings "$psr_unix" "PostgreSQL"
    (cd "$install" && publish --dbms SQLite --server update.db init && fill_database --dbms SQLite --server update.db)
    use_legacy_source
    # The legacy updater ignores the settings' DBMS and reads QLX_UPT2.
    publish --dbms SQLite --server "$(qlx_windows_path "$install/update.db")" remove fixes --table QLX_UPT2
    run_updater qlx_upt3.exe "/PSR=$psr;/SERVER=QUILLON_LEGACY;/BUILDNO=2;"
    check "the window of qlx_upt3.exe is on screen" picture "Quillon 프로그램 업그레이드" 60
    wine_wait 120
    check "the exit status is 0" equals "$wine_status" 0
    check "build 2 of QLX_UPT2 is installed" equals "$(installed_build)" "build 2"
    check "the Korean file name is installed" test -f "$install/reports/월간.txt"
    check "QL_UPT_TIME records a reached database" equals "$(setting "$psr_unix" QL_UPT_TIME)" ""
    check "the client is relaunched" wait_for_client
    ;;
  signed)
    write_settings "$psr_unix" SQLite
    # The publisher refuses a secret key that others can read.
    install -m 600 "$(dirname "$0")/../fixtures/signing/package.key" "$work/package.key"
    key=$(qlx_windows_path "$work/package.key")
    (cd "$install" && publish --dbms SQLite --server update.db init &&
      fill_database --key "$key" --dbms SQLite --server update.db)
    cp "$install/update.db" "$work/signed.db"
    # Each attack on the published database: the run fails on the one package
    # with its reason, and nothing of the sound ones is installed either.
    refuses() { # PACKAGE REASON SQL
      cp "$work/signed.db" "$install/update.db"
      sqlite3 "$install/update.db" "$3"
      echo "build 1" >"$install/bin/quillon.ver"
      run_updater qlx_upt_signed.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
      check "$1 is refused in the box" answer_box "Err!" Return
      check "$1: $2" grep -q "^$1: $2" <<<"$(box_text)"
      check "the web-site box follows" answer_box "에러!" Return
      wine_wait 60
      check "the exit status says the update failed" equals "$wine_status" 4
      check "nothing is installed" equals "$(installed_build)" "build 1"
      check "not even the sound packages" test ! -e "$install/bin/lib/core.dat"
      check "nothing lands in the installation folder" test ! -e "$install/lib/core.dat"
      check "the client is not relaunched" test ! -e "$install/client-started.txt"
    }
    # One byte of the fix changed, as a man in the middle would.
    refuses fixes.zip "게시자가 서명한 패키지가 아닙니다" "UPDATE QLX_UPT3 SET eFILE = CAST(
      substr(eFILE, 1, 40) || iif(substr(eFILE, 41, 1) = x'00', x'01', x'00') || substr(eFILE, 42)
      AS BLOB) WHERE FILENAME = 'fixes'"
    # The signed core moved beside quillon.exe, where Windows loads DLLs first.
    refuses core.zip "서명이 이 패키지의 위치와 맞지 않습니다" \
      "UPDATE QLX_UPT3 SET FPATH = '' WHERE FILENAME = 'core'"
    cp "$work/signed.db" "$install/update.db"
    run_updater qlx_upt_signed.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    wine_wait 120
    expect_whole_update
    ;;
  korean-packages)
    write_settings "$psr_unix" SQLite
    qlx_make_package "$work/tools.zip" tool.exe "tool of build 3"
    (cd "$install" && publish --dbms SQLite --server update.db init && fill_database --dbms SQLite --server update.db &&
      publish --dbms SQLite --server update.db add-build tools bin 3 "$(qlx_windows_path "$work/tools.zip")")
    # 보고서 into 보고서\월간, with names as Korean Windows tools write them
    # (CP949 without the UTF-8 flag, made on MS-DOS) and one with the flag.
    /usr/bin/python3 - "$install/update.db" <<'PY'
import io, sqlite3, sys, zipfile
class Cp949Info(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp949"), self.flag_bits
buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
    for name in ("서식.txt", "양식/표.txt"):
        entry = Cp949Info(name)
        entry.create_system = 0
        archive.writestr(entry, name)
    archive.writestr("요약 보고.txt", "요약 보고.txt")
db = sqlite3.connect(sys.argv[1])
for table in ("QLX_UPT3", "QLX_UPT2"):
    db.execute(f"INSERT INTO {table} VALUES ('보고서', '보고서\\월간', 3, ?)", (buffer.getvalue(),))
db.commit()
PY
    expect_korean_package() {
      check "the package is kept under its Hangul name" test -f "$install/upt/보고서.zip"
      for name in 서식.txt 양식/표.txt "요약 보고.txt"; do
        check "$name is installed" equals "$(cat "$install/보고서/월간/$name" 2>/dev/null)" "$name"
      done
    }
    # A running program that is not one of the client's: its image is renamed.
    cp "$BIN/qlx_hold_file.exe" "$install/bin/tool.exe"
    echo >"$work/tool-mark"
    "$QLX_WINE" "$install/bin/tool.exe" "$(qlx_windows_path "$work/tool-mark")" 0 &
    tool_pid=$!
    client_pid="$client_pid $tool_pid"
    for _ in $(seq 100); do [ -e "$work/tool-mark.held" ] && break; sleep 0.1; done
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    wine_wait 120
    expect_whole_update
    expect_korean_package
    check "the new tool.exe is installed over the running one" equals "$(cat "$install/bin/tool.exe")" "tool of build 3"
    check "which still runs" kill -0 "$tool_pid"
    check "its old image waits in a staging folder" test -n "$(find "$install/bin" -name '.ezip-staging-*')"
    kill "$tool_pid" && wait "$tool_pid" 2>/dev/null || true
    rm -rf "$install/보고서" "$install/upt"/*.zip "$install/bin/lib"
    use_legacy_source
    run_updater qlx_upt3.exe "/PSR=$psr;/SERVER=QUILLON_LEGACY;/BUILDNO=2;"
    wine_wait 120
    check "the legacy updater's exit status is 0" equals "$wine_status" 0
    expect_korean_package
    check "and it removes what the old image left" \
      equals "$(find "$install" -name '.qlx_upt.run*' -o -name '.ezip-staging-*')" ""
    ;;
  kills)
    write_settings "$psr_unix" SQLite
    # Rows enough that the settings save lasts tens of milliseconds.
    /usr/bin/python3 -c 'import json, sys; d = json.load(open(sys.argv[1]))
d["rows"] += [{"CODE": "Row-%d" % i, "VALUE": "row %d" % i} for i in range(150000)]
json.dump(d, open(sys.argv[1], "w"), indent=1)' "$psr_unix"
    settings_whole() { /usr/bin/python3 -c 'import json, sys; r = {x["CODE"]: x["VALUE"] for x in json.load(open(sys.argv[1]))["rows"]}
sys.exit(len(r) != 150003 or r["QL_UPT_TIME"] not in ("8765", "") or any(r["Row-%d" % i] != "row %d" % i for i in range(150000)))' "$psr_unix"; }
    saving() { local found=("$install"/.quil.psr.qlx-save-*); [ -e "${found[0]}" ]; }
    # Enough files that staging and the moves take a while under wine.
    many=()
    for i in $(seq 300); do many+=("many/f$i.dat" "many $i of build 3"); done
    qlx_make_package "$work/many.zip" "${many[@]}"
    (cd "$install" && publish --dbms SQLite --server update.db init &&
      tables=QLX_UPT3 fill_database --dbms SQLite --server update.db &&
      publish --dbms SQLite --server update.db add-build many bin 3 "$(qlx_windows_path "$work/many.zip")")
    mkdir -p "$install/bin/lib" "$install/bin/many"
    echo "build 1" >"$install/bin/quillon.ver" && echo "core of build 1" >"$install/bin/lib/core.dat"
    for i in $(seq 300); do echo "many $i of build 1" >"$install/bin/many/f$i.dat"; done
    cp -a "$install" "$work/pristine"
    files_of >"$work/old"
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    wine_wait 120
    expect_whole_update
    files_of >"$work/new"
    interrupted=0
    moments=("settings-save saving" "download zip_written many"
      "first-staging journal_has S 1" "staging journal_has S 3" "last-staging journal_has S 4" "journal-written journal_has F 1"
      "staged journal_has F 305" "moves journal_has C" "halfway-moves moved 150"
      "moves-done moved 300" "cleanup journal_has E")
    for moment in "${moments[@]}"; do
      # A save lasts milliseconds: a start that ended before the kill found
      # its save is started again, a few times at most.
      for attempt in 1 2 3 4 5 6; do
        rm -rf "$install" && cp -a "$work/pristine" "$install"
        run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
        # shellcheck disable=SC2086 # a condition and its words
        kill_poll=$([ "${moment%% *}" = settings-save ] && echo 0.002 || echo 0.01) kill_when ${moment#* }
        [ "${moment%% *}" = settings-save ] && ! saving && [ "$attempt" -lt 6 ] || break
        echo "  the save was over before the kill: again"
        wait_for_client && client_gone
      done
      client_started || interrupted=$((interrupted + 1))
      echo "  killed at '${moment%% *}' (${SECONDS}s): status $wine_status, journal ends in" \
        "$(tail -n 1 "$journal" 2>/dev/null | cut -c1)"
      files_of >"$work/now"
      check "after a kill at ${moment%% *}, every file is old or new" \
        equals "$(sort "$work/old" "$work/new" | comm -23 <(sort "$work/now") -)" ""
      check "and none is lost" equals "$(cut -c35- "$work/old" | comm -23 - <(cut -c35- "$work/now"))" ""
      check "the settings file is whole, old or new, with every row" settings_whole
      [ "${moment%% *}" != settings-save ] || check "that kill landed in the save" saving
      rm -f "$install/client-started.txt"
      run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
      wine_wait 120
      check "the next start succeeds" equals "$wine_status" 0
      check "it installs the whole new build" equals "$(files_of)" "$(cat "$work/new")"
      check "the settings keep every row" settings_whole
      check "nothing of ours is left" equals "$(leftovers)" ""
      # The relaunched client must be gone, or the next start counts it.
      wait_for_client && client_gone
    done
    check "most kills interrupted the run ($interrupted)" test "$interrupted" -ge $((${#moments[@]} / 2))
    ;;
  full-disk)
    # A drive of its own, E:, for the installation; the database stays on Z:.
    disk=$work/disk
    mkdir -p "$disk"
    mount -t tmpfs -o size=4m tmpfs "$disk"
    drive=$WINEPREFIX/dosdevices/e:
    old_drive=$(readlink "$drive" 2>/dev/null || true)
    # One left by a run that was itself killed points at a folder that is gone.
    [ -d "$old_drive" ] || old_drive=
    undo_on_exit=undo_disk
    undo_disk() {
      rm -f "$drive"
      [ -z "$old_drive" ] || ln -s "$old_drive" "$drive"
      umount "$disk" 2>/dev/null || true
    }
    ln -sfn "$disk" "$drive"
    install=$disk/install psr_unix=$disk/install/quil.psr psr='E:\install\quil.psr'
    journal=$install/upt/.qlx_upt.run
    mkdir -p "$install/bin/lib"
    cp "$BIN/qlx_client_record.exe" "$install/quillon.exe"
    server=$(qlx_windows_path "$work/update.db")
    publish --dbms SQLite --server "$server" init
    tables=QLX_UPT3 fill_database --dbms SQLite --server "$server"
    write_settings "$psr_unix" SQLite
    echo "build 1" >"$install/bin/quillon.ver" && echo "core of build 1" >"$install/bin/lib/core.dat"
    filler=$disk/filler
    fill_leaving() { # KILOBYTES; the filler takes the rest of the drive
      local free
      free=$(df --output=avail -k "$disk" | tail -n 1)
      dd if=/dev/zero of="$filler" bs=1K count=$((free - $1)) status=none
    }
    fails_on_full_disk() { # CASE [SETTINGS_UNSAVED]
      files_of >"$work/before"
      cp "$psr_unix" "$work/settings-before"
      run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=$server;/BUILDNO=2;"
      ${while_running:-:}
      check "$1: the failure is told" answer_box "Err!" Return
      told=$(box_text) && echo "  $told"
      [ -z "${2:-}" ] || check "$1: so is the unsaved settings file" answer_box "확인!" Return
      check "$1: the web-site box follows" answer_box "에러!" Return
      wine_wait 60 || true
      check "$1: the exit status is not 0" test "$wine_status" != 0
      check "$1: the settings file stays byte for byte" cmp "$psr_unix" "$work/settings-before"
      check "$1: the old build stays whole" equals "$(files_of)" "$(cat "$work/before")"
      check "$1: the client is not relaunched" test ! -e "$install/client-started.txt"
    }
    installs_with_room() { # CASE
      rm -f "$filler"
      run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=$server;/BUILDNO=2;"
      wine_wait 120
      expect_whole_update
      check "$1, with room: nothing of ours is left" equals "$(leftovers)" ""
      rm -f "$install/client-started.txt"
    }
    # Full before the run: not even the settings can be saved.
    fill_leaving 2
    fails_on_full_disk "full before the run" settings-unsaved
    installs_with_room "full before the run"
    # Room for the settings and the package, but not for its 600 files (a
    # small file takes a whole page of the drive): refused before staging.
    small=()
    for i in $(seq 600); do small+=("many/f$i.dat" "file $i"); done
    qlx_make_package "$work/many.zip" "${small[@]}"
    publish --dbms SQLite --server "$server" add-build many bin 3 "$(qlx_windows_path "$work/many.zip")"
    fill_leaving 1024
    fails_on_full_disk "too small for the files"
    check "too small for the files: the package itself was written" test -s "$install/upt/many.zip"
    installs_with_room "too small for the files"
    check "all 600 files are installed" equals "$(find "$install/bin/many" -type f | wc -l)" 600
    # Room for all, until another program takes it while the last package is
    # staged.
    rm -rf "$install/bin/many"
    fill_leaving 2600
    fill_when_staging() {
      local polls=0
      while ! journal_has S 4 && [ $((polls += 1)) -lt 6000 ]; do sleep 0.01; done
      dd if=/dev/zero of="$filler" bs=1K oflag=append conv=notrunc status=none 2>/dev/null || true
    }
    while_running=fill_when_staging
    fails_on_full_disk "filled while staging"
    while_running=:
    installs_with_room "filled while staging"
    # Room for the staged files and the journal (about 120 bytes a file), not
    # for the journal's copy at the commit point, where a full disk stops a
    # commit (its moves are renames); the sizes fix the room left.
    rm -rf "$install/bin/many"
    staged_kb=$(/usr/bin/python3 -c 'import sys, zipfile
print(sum(-(-i.file_size // 4096) * 4 for z in sys.argv[1:] for i in zipfile.ZipFile(z).infolist()))' \
      "$work"/{core,reports,fixes,many}.zip)
    fill_leaving $((staged_kb + 605 * 3 * (${#psr} + 20) / 1024 * 3 / 2))
    fails_on_full_disk "full at the commit point"
    check "full at the commit point: told as a full disk" grep -q "디스크 공간이 부족합니다" <<<"$told"
    installs_with_room "full at the commit point"
    ;;
  in-use)
    write_settings "$psr_unix" SQLite
    (cd "$install" && publish --dbms SQLite --server update.db init && fill_database --dbms SQLite --server update.db)
    echo "build 1" >"$install/bin/quillon.ver"
    held=$install/bin/quillon.ver
    hold() { # MILLISECONDS
      rm -f "$held.held"
      "$QLX_WINE" "$BIN/qlx_hold_file.exe" "$(qlx_windows_path "$held")" "$1" &
      holder_pid=$!
      client_pid="$client_pid $holder_pid"
      for _ in $(seq 100); do [ -e "$held.held" ] && break; sleep 0.1; done
    }
    # A scanner's moment first: the file is waited for and the update installs.
    hold 1000
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    wine_wait 120
    expect_whole_update
    check "no journal is left" equals "$(find "$install" -name '.qlx_upt.run*')" ""
    # Then a file held for the whole run: named, and nothing changes.
    rm -rf "$install/bin/lib" "$install/client-started.txt"
    echo "build 1" >"$install/bin/quillon.ver"
    hold 0
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    check "the held file is named" answer_box "Err!" Return
    check "as used by another program" equals "$(box_text)" 'bin\\quillon.ver: 다른 프로그램이 사용 중인 파일이라 바꿀 수 없습니다'
    check "the web-site box follows" answer_box "에러!" Return
    wine_wait 60
    check "nothing is installed" equals "$(installed_build)" "build 1"
    check "not even the files nobody held" test ! -e "$install/bin/lib/core.dat"
    check "the client is not relaunched" test ! -e "$install/client-started.txt"
    # Started again while the file is still held, and killed while it undoes
    # the moves before it; then once more: only the held file fails.
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    kill_when journal_has U
    echo "  killed during the undo: journal ends in $(tail -n 1 "$journal" 2>/dev/null | cut -c1)"
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    check "the held file is named again" answer_box "Err!" Return
    check "and nothing else" equals "$(box_text)" 'bin\\quillon.ver: 다른 프로그램이 사용 중인 파일이라 바꿀 수 없습니다'
    check "the web-site box follows again" answer_box "에러!" Return
    wine_wait 60
    check "the exit status says the update failed" equals "$wine_status" 4
    check "what the killed undo left is undone" equals "$(installed_build)" "build 1"
    check "all of it" test ! -e "$install/bin/lib/core.dat"
    kill "$holder_pid" 2>/dev/null || true
    wait "$holder_pid" 2>/dev/null || true
    # Once it is let go, the next start installs and leaves nothing behind.
    run_updater qlx_upt.exe "/PID=1;/PSR=$psr;/SERVER=update.db;/BUILDNO=2;"
    wine_wait 120
    expect_whole_update
    check "no journal or staging folder is left" \
      equals "$(find "$install" -name '.qlx_upt.run*' -o -name '.ezip-staging-*')" ""
    ;;
  single-package)
    write_settings "$psr_unix" SQLite
    qlx_make_package "$work/one.zip" bin/quillon.ver "single 7" "문서/José 中国 😀.txt" "its name"
    (cd "$install" && publish --dbms SQLite --server update.db init &&
      publish --dbms SQLite --server update.db add-update 7 "$(qlx_windows_path "$work/one.zip")")
    cd "$install"
    check "it installs with no box; the 8-bit Vexa_Unzip refuses the folder (-24)" equals \
      "$("$QLX_WINE" "$BIN/qlx_single_package_run.exe" "/PID=1;/SERVER=update.db;/ID=7;/FILE=한 개.zip;" | tr -d '\r')" "O 0 -24"
    check "every file under its exact name" \
      equals "$(cat bin/quillon.ver "문서/José 中国 😀.txt")" "$(printf 'single 7\nits name')"
    check "no package file, journal or staging folder is left" \
      equals "$(find . -name '한 개.zip' -o -name '.qlx_upt.run*' -o -name '.ezip-staging-*')" ""
    ;;
  *)
    echo "unknown scenario: $scenario" >&2
    exit 2
    ;;
esac
finish
