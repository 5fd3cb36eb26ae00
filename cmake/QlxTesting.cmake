include(GoogleTest)
find_package(GTest REQUIRED)

# Every test runs on Qt's offscreen platform so that no test needs a display.
set(QLX_TEST_ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# qlx_add_test(NAME [GUI] SOURCES ... LIBS ... [FIXTURES f...] [LABELS l...] [LOCKS lock...] [SERIAL])
# GUI tests get a main() that creates a QApplication before the tests run.
function(qlx_add_test name)
    cmake_parse_arguments(T "GUI;SERIAL" "" "SOURCES;LIBS;FIXTURES;LABELS;LOCKS" ${ARGN})
    if(T_GUI)
        add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/window/qt/gui_test_main.cpp)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PRIVATE qlx_window)
    else()
        add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/core_test_main.cpp)
    endif()
    target_link_libraries(${name} PRIVATE ${T_LIBS} qlx_test_files GTest::gtest GTest::gmock qlx_warnings)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    set(props ENVIRONMENT "${QLX_TEST_ENVIRONMENT}" TIMEOUT 300)
    if(T_FIXTURES)
        list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
    endif()
    # Tests that start, count or end processes named like the Quillon programs
    # would see each other's: they share the lock "quillon_processes". A SERIAL
    # test runs alone, which holds every lock at once; a list of locks cannot
    # pass through test discovery, so more than one lock takes SERIAL.
    if(T_SERIAL)
        list(APPEND props RUN_SERIAL TRUE)
    elseif(T_LOCKS)
        list(LENGTH T_LOCKS lock_count)
        if(lock_count GREATER 1)
            message(FATAL_ERROR "${name}: more than one lock needs SERIAL")
        endif()
        list(APPEND props RESOURCE_LOCK "${T_LOCKS}")
    endif()
    if(T_LABELS)
        list(APPEND props LABELS "${T_LABELS}")
    endif()
    # The lock keeps such tests of this run apart; programs of the same names
    # that other runs on the machine start are kept out of sight by a process
    # namespace of the test's own.
    if("quillon_processes" IN_LIST T_LOCKS AND NOT CMAKE_CROSSCOMPILING)
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
            "bash;${PROJECT_SOURCE_DIR}/tests/support/own_processes.sh")
    endif()
    if(CMAKE_CROSSCOMPILING)
        # Under wine each start costs about half a second: one test a program,
        # run through CMAKE_CROSSCOMPILING_EMULATOR.
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ${props})
    else()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
    endif()
endfunction()
