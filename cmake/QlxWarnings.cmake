# Warnings for every target of the project; QLX_WERROR makes them fatal.
add_library(qlx_warnings INTERFACE)
target_compile_options(qlx_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wcast-align -Wformat=2 -Wimplicit-fallthrough -Wnull-dereference)
if(QLX_WERROR)
    target_compile_options(qlx_warnings INTERFACE -Werror)
endif()

if(QLX_SANITIZE)
    set(_qlx_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_compile_options(${_qlx_san})
    add_link_options(${_qlx_san})
endif()
