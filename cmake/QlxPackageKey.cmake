# The publisher's public keys that an updater checks every package against:
# lines of the package.pub that `qlx_publish keygen` writes, as a CMake list
# (separated by semicolons). A package signed by any of them is accepted, so
# that the publisher can move to a new key. Empty builds an updater that
# installs every package unchecked.
set(QLX_PACKAGE_PUBLIC_KEY "" CACHE STRING
    "Lines of package.pub (qlx-ed25519: and 64 hex digits), separated by semicolons; empty: packages are not checked")

# qlx_check_package_key(KEYS WHAT): stops the configuration unless each of
# KEYS has the form of that line; WHAT names where they came from.
function(qlx_check_package_key keys what)
    if(keys STREQUAL "")
        message(FATAL_ERROR "${what} holds no key")
    endif()
    foreach(key IN LISTS keys)
        if(NOT key MATCHES "^qlx-ed25519:[0-9a-f]+$")
            message(FATAL_ERROR "${what} must be lines of a package.pub "
                "('qlx-ed25519:' and 64 lowercase hex digits), not '${key}'")
        endif()
        string(LENGTH "${key}" length)
        if(NOT length EQUAL 76)
            message(FATAL_ERROR "${what} must hold 64 hex digits after 'qlx-ed25519:', not '${key}'")
        endif()
    endforeach()
endfunction()

# qlx_use_package_key(TARGET KEYS): builds the program TARGET (from
# app/main.cpp) with KEYS, so that it refuses every package none of them signed.
function(qlx_use_package_key target keys)
    qlx_check_package_key("${keys}" "the package key of ${target}")
    list(JOIN keys "\",\"" joined)
    target_compile_definitions(${target} PRIVATE "QLX_PACKAGE_PUBLIC_KEY=\"${joined}\"")
endfunction()

if(NOT QLX_PACKAGE_PUBLIC_KEY STREQUAL "")
    qlx_check_package_key("${QLX_PACKAGE_PUBLIC_KEY}" "QLX_PACKAGE_PUBLIC_KEY")
endif()
