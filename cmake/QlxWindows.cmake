# What the Windows build adds: the C and C++ runtimes linked into each program
# and library, and every DLL they need copied beside them, so that the bin
# folder can be copied to a client machine as it is.
if(NOT WIN32)
    return()
endif()

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static-libgcc -static-libstdc++)
# What goes to the client machine carries no symbols: they only add to the
# download and to what each start maps.
add_link_options($<$<CONFIG:Release>:-s>)

# The DLLs of the dependencies, and the thread library of the posix thread model.
file(GLOB _qlx_dependency_dlls ${QLX_WINDOWS_DEPS}/bin/*.dll)
find_file(QLX_WINPTHREAD_DLL libwinpthread-1.dll PATHS /usr/${QLX_MINGW_TRIPLET}/lib NO_DEFAULT_PATH)
if(NOT QLX_WINPTHREAD_DLL)
    message(FATAL_ERROR "libwinpthread-1.dll not found below /usr/${QLX_MINGW_TRIPLET}/lib")
endif()
list(APPEND _qlx_dependency_dlls ${QLX_WINPTHREAD_DLL})
find_program(QLX_MINGW_STRIP ${QLX_MINGW_TRIPLET}-strip REQUIRED)
set(_qlx_runtime_copies)
foreach(dll ${_qlx_dependency_dlls})
    get_filename_component(_name ${dll} NAME)
    set(_copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_name})
    add_custom_command(OUTPUT ${_copy}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
        COMMAND ${QLX_MINGW_STRIP} --strip-unneeded -o ${_copy} ${dll}
        DEPENDS ${dll} VERBATIM)
    list(APPEND _qlx_runtime_copies ${_copy})
endforeach()
add_custom_target(qlx_runtime_dlls ALL DEPENDS ${_qlx_runtime_copies}
    COMMENT "Copying the dependencies' DLLs, stripped, beside the programs")
