# Cross-builds the Windows updater on Debian with mingw-w64 (64-bit).
# The posix thread model: the package read-ahead needs std::thread and
# std::async, which the win32 model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QLX_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${QLX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QLX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QLX_MINGW_TRIPLET}-windres)

# The dependencies built from Debian's source packages by
# scripts/windows-deps.sh, then the toolchain's own sysroot (zlib, odbc32).
if(NOT QLX_WINDOWS_DEPS)
    if(DEFINED ENV{QLX_WINDOWS_DEPS_CACHE})
        set(QLX_WINDOWS_DEPS $ENV{QLX_WINDOWS_DEPS_CACHE}/prefix)
    else()
        set(QLX_WINDOWS_DEPS /var/cache/qlx-windows-deps/prefix)
    endif()
endif()
set(QLX_WINDOWS_DEPS ${QLX_WINDOWS_DEPS} CACHE PATH "Prefix of the cross-built Windows dependencies")
set(CMAKE_FIND_ROOT_PATH ${QLX_WINDOWS_DEPS} /usr/${QLX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config looks only into the cross prefixes, never at the host's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "${QLX_WINDOWS_DEPS}/lib/pkgconfig:/usr/${QLX_MINGW_TRIPLET}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(ENV{PKG_CONFIG_PATH} "")

# Header-only libraries of the host (nlohmann-json) are the same on Windows.
set(QLX_HOST_HEADER_ONLY /usr/share/cmake/nlohmann_json)

# Tests run under wine in a private prefix (scripts/wine-env.sh prepares it).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
