# A qt.conf built into an executable. Qt reads a qt.conf from beside the
# executable, which sits in the client's installation folder where users may
# write, and that file can point Qt's plugin search anywhere; a built-in one is
# read first and names the folders of the Qt the executable was built with.
get_target_property(QLX_QTPATHS Qt6::qtpaths IMPORTED_LOCATION)
if(NOT QLX_QTPATHS)
    find_program(QLX_QTPATHS NAMES qtpaths6 qtpaths REQUIRED)
endif()
execute_process(COMMAND ${QLX_QTPATHS} --query OUTPUT_VARIABLE qlx_qt_query
                COMMAND_ERROR_IS_FATAL ANY)
set(qlx_qt_conf "[Paths]\n")
foreach(pair IN ITEMS Prefix=PREFIX ArchData=ARCHDATA Data=DATA Documentation=DOCS
                      Headers=HEADERS Libraries=LIBS LibraryExecutables=LIBEXECS
                      Binaries=BINS Plugins=PLUGINS QmlImports=QML Translations=TRANSLATIONS
                      Examples=EXAMPLES Tests=TESTS)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 key)
    list(GET pair 1 name)
    if(qlx_qt_query MATCHES "QT_INSTALL_${name}:([^\n]*)")
        string(APPEND qlx_qt_conf "${key}=${CMAKE_MATCH_1}\n")
    endif()
endforeach()
if(NOT qlx_qt_conf MATCHES "Plugins=(/[^\n]*)")
    message(FATAL_ERROR "qtpaths gave no plugin folder:\n${qlx_qt_query}")
endif()
# Qt's own plugin folder, the only one the window loads plugins from.
set(QLX_QT_PLUGIN_FOLDER "${CMAKE_MATCH_1}")
file(WRITE ${CMAKE_BINARY_DIR}/qt_conf/qt.conf "${qlx_qt_conf}")

function(qlx_embed_qt_conf target)
    qt_add_resources(${target} "${target}_qt_conf" PREFIX "/qt/etc"
        BASE ${CMAKE_BINARY_DIR}/qt_conf FILES ${CMAKE_BINARY_DIR}/qt_conf/qt.conf)
endfunction()
