# End-to-end suites over a real serial line: the main window in the test
# process on the termios port and the system clock, the simulator tool as a
# separate process on a pseudo-terminal. The waits and time-outs are real, so
# these take seconds each: label "e2e", run with `ctest -L e2e` (or leave
# them out with `-LE e2e`).
add_library(zul_e2e_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/e2e/SimProcess.cpp)
target_include_directories(zul_e2e_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zul_e2e_support PUBLIC Qt6::Core)

# zul_add_e2e_test(NAME SOURCE TIMEOUT_SECONDS [DATABASE])
# DATABASE: on the test server of tests/database.cmake, found through the
# folder built in (ZUL_PG_DIR of the suite's own environment goes first).
function(zul_add_e2e_test name source timeout)
    add_executable(${name} ${source})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}
                               ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE zul_e2e_support zul_widgets zul_records zul_report
                          nlohmann_json::nlohmann_json Qt6::Test GTest::gtest
                          GTest::gtest_main GTest::gmock Threads::Threads)
    target_compile_definitions(${name} PRIVATE
                               ZUL1X_SIM_BINARY="$<TARGET_FILE:zul1x-sim>"
                               ZUL10_RECORDS_BINARY="$<TARGET_FILE:zul10-records>")
    add_dependencies(${name} zul1x-sim zul10-records)
    set(fixture "")
    if("DATABASE" IN_LIST ARGN)
        target_link_libraries(${name} PRIVATE zul_database)
        target_compile_definitions(${name} PRIVATE ZUL_PG_DIR_BUILT="${ZUL_PG_DIR}")
        set(fixture FIXTURES_REQUIRED pg)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ENVIRONMENT "${ZUL_LSAN_ENV}"
                                    LABELS "e2e" TIMEOUT ${timeout} ${fixture})
endfunction()

zul_add_e2e_test(e2e_healthy_test e2e_healthy_test.cpp 90)
zul_add_e2e_test(e2e_faults_test e2e_faults_test.cpp 60)
zul_add_e2e_test(e2e_mag_test e2e_mag_test.cpp 60)
zul_add_e2e_test(e2e_scan_test e2e_scan_test.cpp 60)
zul_add_e2e_test(e2e_database_test e2e_database_test.cpp 90 DATABASE)

# The real program in an X window on a virtual display, driven with the
# keyboard and the mouse through a healthy run, a failed one, the dialogs and
# the start-up boxes (about a minute); its screenshots stay in e2e_screens/
# of the build tree (scripts/screenshots.sh copies them into docs/images).
# Skipped (77) when xvfb-run, xdotool or ImageMagick are not installed.
add_test(NAME e2e_real_window
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/real_window_test.sh
                 $<TARGET_FILE:zul10> $<TARGET_FILE:zul1x-sim>
                 ${CMAKE_CURRENT_BINARY_DIR}/e2e_screens)
set_tests_properties(e2e_real_window PROPERTIES LABELS "e2e;x11" TIMEOUT 180
                     SKIP_RETURN_CODE 77 ENVIRONMENT "${ZUL_LSAN_ENV}")
