# The publisher's public key that an updater checks every package against: the
# one line of the package.pub that `qlx_publish keygen` writes. Empty builds an
# updater that installs every package unchecked.
set(QLX_PACKAGE_PUBLIC_KEY "" CACHE STRING
    "The line of package.pub (qlx-ed25519: and 64 hex digits); empty: packages are not checked")

# qlx_check_package_key(KEY WHAT): stops the configuration unless KEY has the
# form of that line; WHAT names where it came from.
function(qlx_check_package_key key what)
    if(NOT key MATCHES "^qlx-ed25519:[0-9a-f]+$")
        message(FATAL_ERROR "${what} must be the line of a package.pub "
            "('qlx-ed25519:' and 64 lowercase hex digits), not '${key}'")
    endif()
    string(LENGTH "${key}" length)
    if(NOT length EQUAL 76)
        message(FATAL_ERROR "${what} must hold 64 hex digits after 'qlx-ed25519:', not '${key}'")
    endif()
endfunction()

# qlx_use_package_key(TARGET KEY): builds the program TARGET (from app/main.cpp)
# with KEY, so that it refuses every package KEY did not sign.
function(qlx_use_package_key target key)
    qlx_check_package_key("${key}" "the package key of ${target}")
    target_compile_definitions(${target} PRIVATE "QLX_PACKAGE_PUBLIC_KEY=\"${key}\"")
endfunction()

if(NOT QLX_PACKAGE_PUBLIC_KEY STREQUAL "")
    qlx_check_package_key("${QLX_PACKAGE_PUBLIC_KEY}" "QLX_PACKAGE_PUBLIC_KEY")
endif()
