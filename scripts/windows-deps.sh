#!/usr/bin/env bash
# Builds the Windows build's dependencies from Debian's own source packages
# with the mingw-w64 cross compilers: SQLite, libzip (over the zlib of
# libz-mingw-w64-dev and bzip2), liblzma and libzstd for EZip's own decoders,
# libdeflate for its whole-entry decoding, libcurl with FTP, libsodium,
# GoogleTest and the header-only nlohmann-json.
#
# Each library is built once per Debian version and kept in a cache below
# QLX_WINDOWS_DEPS_CACHE (default /var/cache/qlx-windows-deps); the merged
# prefix that the toolchain file reads is <cache>/prefix. The sources come from
# the archives the machine's apt already uses, through a private source list
# of their deb-src lines: the machine's apt configuration is never changed.
#   scripts/windows-deps.sh
#   scripts/windows-deps.sh --sources   only the private source list and the
#                                       versions it finds; builds nothing
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
cd "$qlx_root"

sources_only=no
case "${1:-}" in
  --sources) sources_only=yes ;;
  "") ;;
  *) echo "usage: scripts/windows-deps.sh [--sources]" >&2; exit 2 ;;
esac

cache=${QLX_WINDOWS_DEPS_CACHE:-/var/cache/qlx-windows-deps}
triplet=x86_64-w64-mingw32
jobs=$(nproc)
# Changing how a library is built raises its number, so that no stale build
# is kept.
declare -A recipe=([sqlite3]=1 [bzip2]=1 [libzip]=2 [xz-utils]=2 [libzstd]=2 [libsodium]=2
  [googletest]=1 [nlohmann-json3]=1 [curl]=1 [libdeflate]=1)

# deb_src_lines FILE...: the deb and deb-src lines of one-line source lists as
# deb-src lines, options kept, each once.
deb_src_lines() {
  [ $# -gt 0 ] || return 0
  awk '{ sub(/#.*/, "") } $1 == "deb" || $1 == "deb-src" { $1 = "deb-src"; if (!seen[$0]++) print }' "$@"
}

# deb_src_stanzas FILE: the enabled stanzas of a deb822 source file that name
# deb or deb-src, as deb-src stanzas; every other field, continued lines (an
# inline key) among them, is kept.
deb_src_stanzas() {
  awk 'BEGIN { RS = ""; FS = "\n" }
    {
      out = ""; types = ""; enabled = "yes"
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^#/) continue
        field = tolower($i); sub(/:.*/, "", field)
        value = $i; sub(/^[^:]*:[ \t]*/, "", value); sub(/[ \t]+$/, "", value)
        if (field == "types") { types = " " value " "; continue }
        if (field == "enabled") enabled = tolower(value)
        out = out $i "\n"
      }
      if (enabled ~ /^(no|false|off|without|disable)$/) next
      if (types !~ /[ \t]deb(-src)?[ \t]/) next
      printf "%sTypes: deb-src\n%s", (n++ ? "\n" : ""), out
    }' "$1"
}

# write_source_list DIR: DIR/sources.list and DIR/sources.list.d/*.sources,
# the source archives of the archives that the machine's apt configuration
# names, in both of its formats.
write_source_list() {
  local dir=$1 list parts f
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
  mkdir -p "$dir/sources.list.d"
  local one_line=()
  for f in "$list" "$parts"*.list; do
    if [ -f "$f" ]; then one_line+=("$f"); fi
  done
  deb_src_lines "${one_line[@]}" >"$dir/sources.list"
  for f in "$parts"*.sources; do
    [ -f "$f" ] || continue
    deb_src_stanzas "$f" >"$dir/sources.list.d/${f##*/}"
    if [ ! -s "$dir/sources.list.d/${f##*/}" ]; then rm -f "$dir/sources.list.d/${f##*/}"; fi
  done
  [ -s "$dir/sources.list" ] || [ -n "$(ls -A "$dir/sources.list.d")" ] ||
    qlx_die "no deb lines in $list or ${parts}*.list, nor deb stanzas in ${parts}*.sources"
}

mkdir -p "$cache"
apt_dir=$cache/apt
mkdir -p "$apt_dir"/lists/partial "$apt_dir"/cache/archives/partial
rm -rf "$apt_dir/etc.new"
write_source_list "$apt_dir/etc.new"
list_changed=no
if ! diff -r -q "$apt_dir/etc.new" "$apt_dir/etc" >/dev/null 2>&1; then
  rm -rf "${apt_dir:?}/etc"
  mv "$apt_dir/etc.new" "$apt_dir/etc"
  list_changed=yes
fi
rm -rf "$apt_dir/etc.new"
apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/etc/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/etc/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o APT::Get::List-Cleanup=0
  -o APT::Sandbox::User=root
)

# The source index is fetched at most once a day, and whenever the machine's
# archives have changed since.
if [ "$list_changed" = yes ] ||
  [ -z "$(find "$apt_dir/lists" -maxdepth 1 -name '*Sources*' -mtime -1 2>/dev/null | head -n 1)" ]; then
  echo "windows-deps: fetching Debian's source index"
  apt-get "${apt_options[@]}" update -qq
fi

# The versions of a source package the private list knows, newest first by
# dpkg's ordering (a tilde sorts before everything, an epoch above it all).
source_versions() {
  local sorted=() v i
  while read -r v; do
    for ((i = ${#sorted[@]}; i > 0; i--)); do
      dpkg --compare-versions "$v" le "${sorted[i - 1]}" && break
      sorted[i]=${sorted[i - 1]}
    done
    sorted[i]=$v
  done < <(apt-cache "${apt_options[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -u)
  [ ${#sorted[@]} -gt 0 ] || { echo "windows-deps: no source package $1" >&2; exit 1; }
  printf '%s\n' "${sorted[@]}"
}

# The newest version of a source package the private list knows.
source_version() {
  source_versions "$1" | head -n 1
}

if [ "$sources_only" = yes ]; then
  echo "windows-deps: source list in $apt_dir/etc"
  for f in "$apt_dir/etc/sources.list" "$apt_dir"/etc/sources.list.d/*; do
    if [ -s "$f" ]; then echo "== $f"; cat "$f"; fi
  done
  for name in "${!recipe[@]}"; do
    echo "windows-deps: $name $(source_version "$name")"
  done
  exit 0
fi

compiler_version=$($triplet-gcc-posix -dumpversion)

# build_library NAME BUILD_FUNCTION: fetches NAME's source and runs the build
# function in it with $install as the target prefix, unless the cache has it.
# build_library NAME BUILD_FUNCTION: fetches NAME's source and runs the build
# function in it with $install as the target prefix, unless the cache has it.
# A version the index names but the archive no longer serves (a security
# update whose files moved) gives way to the next older one.
built=()
declare -A key=()
build_library() {
  local name=$1 build=$2 version work
  for version in $(source_versions "$name"); do
    key[$name]="$name-$version-gcc$compiler_version-r${recipe[$name]}"
    install=$cache/${key[$name]}
    if [ -f "$install/.complete" ]; then
      echo "windows-deps: $name $version (cached)"
      built+=("$install")
      return
    fi
    work=$(mktemp -d "$cache/.work-$name.XXXXXX")
    if (cd "$work" && apt-get "${apt_options[@]}" source -qq --download-only "$name=$version") \
      >/dev/null 2>&1; then
      build_fetched "$name" "$version" "$build" "$work"
      return
    fi
    echo "windows-deps: $name $version cannot be fetched"
    rm -rf "$work"
  done
  echo "windows-deps: no version of $name can be fetched" >&2
  exit 1
}

build_fetched() {
  local name=$1 version=$2 build=$3 work=$4 started
  echo "windows-deps: building $name $version"
  started=$(date +%s)
  rm -rf "$install"
  (
    cd "$work"
    dpkg-source --no-check -x ./*.dsc src >/dev/null
    cd src
    "$build"
  ) > "$work.log" 2>&1 || { tail -n 40 "$work.log" >&2; echo "windows-deps: $name failed, log $work.log" >&2; exit 1; }
  touch "$install/.complete"
  rm -rf "$work" "$work.log"
  echo "windows-deps: $name $version built in $(( $(date +%s) - started )) s"
  built+=("$install")
}

cmake_cross=(
  -G Ninja -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=x86_64
  -DCMAKE_C_COMPILER=$triplet-gcc-posix -DCMAKE_CXX_COMPILER=$triplet-g++-posix
  -DCMAKE_RC_COMPILER=$triplet-windres
  -DCMAKE_FIND_ROOT_PATH=/usr/$triplet
  -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER
  -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY
  -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY
)

build_sqlite() {
  # The amalgamation is generated with the host's compiler and tclsh, then
  # compiled for Windows as one DLL with the options Debian's library uses.
  ./configure --disable-tcl >/dev/null
  make -j"$jobs" sqlite3.c >/dev/null
  mkdir -p "$install"/{bin,lib,include,lib/pkgconfig}
  local defines=(-DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE
    -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_ENABLE_DBSTAT_VTAB
    -DSQLITE_MAX_VARIABLE_NUMBER=250000 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_MATH_FUNCTIONS
    "-DSQLITE_API=__declspec(dllexport)")
  $triplet-gcc-posix -O2 -shared "${defines[@]}" sqlite3.c -o "$install/bin/sqlite3.dll" \
    -Wl,--out-implib,"$install/lib/libsqlite3.dll.a"
  cp sqlite3.h sqlite3ext.h "$install/include/"
  local v
  v=$(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' sqlite3.h)
  cat > "$install/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$install
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: SQLite
Description: SQL database engine
Version: $v
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
EOF
}

build_bzip2() {
  # A static library linked into libzip.dll: bzip2's Makefile builds no
  # Windows DLL, and libzip.dll stays the one DLL that reads zip archives.
  # BZ_EXPORT makes bzlib.h declare functions instead of the pointers of a DLL
  # loaded by hand.
  mkdir -p "$install"/{lib,include}
  local objects=() c
  for c in blocksort huffman crctable randtable compress decompress bzlib; do
    $triplet-gcc-posix -O2 -D_FILE_OFFSET_BITS=64 -DBZ_EXPORT -c "$c.c" -o "$c.o"
    objects+=("$c.o")
  done
  $triplet-ar rcs "$install/lib/libbz2.a" "${objects[@]}"
  cp bzlib.h "$install/include/"
}

build_libzip() {
  local bzip2_dir=$cache/${key[bzip2]}
  cmake -S . -B build "${cmake_cross[@]}" -DCMAKE_INSTALL_PREFIX="$install" \
    -DENABLE_BZIP2=ON -DBZIP2_INCLUDE_DIR="$bzip2_dir/include" \
    -DBZIP2_LIBRARY_RELEASE="$bzip2_dir/lib/libbz2.a" -DCMAKE_C_FLAGS=-DBZ_EXPORT \
    -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF \
    -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
  cmake --build build -j"$jobs"
  cmake --install build
  cp /usr/$triplet/lib/zlib1.dll "$install/bin/"
}

build_xz_utils() {
  # liblzma alone, as a DLL: none of the programs, scripts, translations or
  # manuals, and only its decoders, single-threaded, which is all EZip calls
  # and a quarter of the compile time.
  ./configure --host=$triplet --prefix="$install" --enable-shared --disable-static \
    --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
    --disable-scripts --disable-doc --disable-nls --disable-encoders --disable-match-finders \
    --disable-microlzma --disable-lzip-decoder --enable-threads=no \
    CC=$triplet-gcc-posix LDFLAGS=-static-libgcc >/dev/null
  make -C src/liblzma -j"$jobs" >/dev/null
  make -C src/liblzma install >/dev/null
}

build_libzstd() {
  # The decoder alone, as one DLL, single-threaded like EZip's decoding:
  # compression and the dictionary builder would be five sixths of it.
  mkdir -p "$install"/{bin,lib,include,lib/pkgconfig}
  $triplet-gcc-posix -O2 -shared -static-libgcc -DZSTD_DLL_EXPORT=1 -DZSTD_DISABLE_ASM \
    -DZSTD_LEGACY_SUPPORT=0 lib/common/*.c lib/decompress/*.c -o "$install/bin/libzstd.dll" \
    -Wl,--out-implib,"$install/lib/libzstd.dll.a"
  cp lib/zstd.h lib/zstd_errors.h "$install/include/"
  local v="" part
  for part in MAJOR MINOR RELEASE; do
    v=${v:+$v.}$(sed -n "s/^#define ZSTD_VERSION_$part *\([0-9]*\).*/\1/p" lib/zstd.h)
  done
  cat > "$install/lib/pkgconfig/libzstd.pc" <<EOF
prefix=$install
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: zstd
Description: Zstandard decoder
Version: $v
Libs: -L\${libdir} -lzstd
Cflags: -I\${includedir}
EOF
}

build_libdeflate() {
  # A static library linked into EZip.dll, which stays the one DLL that reads
  # zip archives; this version's Makefile makes no mingw-w64 library to link.
  mkdir -p "$install"/{lib,include,lib/pkgconfig}
  local objects=() c o
  for c in lib/*.c lib/x86/*.c; do
    o=${c//\//_}.o
    $triplet-gcc-posix -O2 -I. -c "$c" -o "$o"
    objects+=("$o")
  done
  $triplet-ar rcs "$install/lib/libdeflate.a" "${objects[@]}"
  cp libdeflate.h "$install/include/"
  local v
  v=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[[:space:]]*"\(.*\)"/\1/p' libdeflate.h)
  cat > "$install/lib/pkgconfig/libdeflate.pc" <<EOF
prefix=$install
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: libdeflate
Description: whole-buffer DEFLATE decoding
Version: $v
Libs: -L\${libdir} -ldeflate
Cflags: -I\${includedir}
EOF
}

build_curl() {
  # FTP is all the FTP library needs; HTTP stays, since curl's FTP code does
  # not link without it. No TLS, no compression, no name resolver threads of
  # its own beyond Windows'.
  cmake -S . -B build "${cmake_cross[@]}" -DCMAKE_INSTALL_PREFIX="$install" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_OPENSSL=OFF -DCURL_USE_SCHANNEL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_DICT=ON \
    -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_TFTP=ON -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_POP3=ON \
    -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_MQTT=ON \
    -DCURL_DISABLE_SMB=ON -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON \
    -DENABLE_UNIX_SOCKETS=OFF -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none
  cmake --build build -j"$jobs"
  cmake --install build
}

build_libsodium() {
  # Debian's source carries no generated configure script.
  autoreconf -fi >/dev/null 2>&1
  # The C runtime's helpers are linked in, so the DLL needs no libgcc DLL.
  ./configure --host=$triplet --prefix="$install" --disable-static --enable-shared \
    CC=$triplet-gcc-posix LDFLAGS=-static-libgcc >/dev/null
  make -j"$jobs" >/dev/null
  make install >/dev/null
}

build_nlohmann_json() {
  # Header-only: installed so that the cross build never reads the host's /usr/include.
  cmake -S . -B build "${cmake_cross[@]}" -DCMAKE_INSTALL_PREFIX="$install" \
    -DJSON_BuildTests=OFF -DJSON_Install=ON -DJSON_MultipleHeaders=ON
  cmake --install build
}

build_googletest() {
  cmake -S . -B build "${cmake_cross[@]}" -DCMAKE_INSTALL_PREFIX="$install" \
    -Dgtest_disable_pthreads=OFF -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_CXX_FLAGS="-static-libgcc -static-libstdc++"
  cmake --build build -j"$jobs"
  cmake --install build
}

build_library sqlite3 build_sqlite
build_library bzip2 build_bzip2
build_library libzip build_libzip
build_library xz-utils build_xz_utils
build_library libzstd build_libzstd
build_library libdeflate build_libdeflate
build_library libsodium build_libsodium
build_library googletest build_googletest
build_library nlohmann-json3 build_nlohmann_json
build_library curl build_curl

# One merged prefix, made anew from the cached builds (hard links, no copies).
prefix=$cache/prefix
rm -rf "$prefix.new"
mkdir -p "$prefix.new"
for dir in "${built[@]}"; do
  cp -rlf "$dir"/. "$prefix.new"/
done
rm -f "$prefix.new/.complete"
# The installed .pc and CMake files name their own build folder; the merged
# prefix answers for all of them.
grep -rlZ --include='*.pc' "^prefix=" "$prefix.new/lib/pkgconfig" 2>/dev/null |
  xargs -0 -r sed -i "s|^prefix=.*|prefix=$prefix|"
rm -rf "$prefix"
mv "$prefix.new" "$prefix"

# Cached builds of other versions or recipes stay: checkouts of other
# revisions share the cache and would otherwise rebuild them on every switch.
echo "windows-deps: prefix $prefix"
