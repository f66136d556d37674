# The hostile unit: thousands of complete wizard runs against a randomised
# unit, checked against an independent model (ZUL_HOSTILE_SEED and
# ZUL_HOSTILE_RUNS choose a longer run).
if(WIN32)
    zul_add_test(hostile_unit_test SOURCES hostile_unit_test.cpp ${ZUL_WIZARD_SOURCES}
                 LIBS zul_adjust zul_sim)
    return()
endif()
zul_add_test(hostile_unit_test SOURCES hostile_unit_test.cpp LIBS zul_widgets zul_sim)

# The soak: complete healthy runs with flat memory (ZUL_SOAK_RUNS for a longer
# run). Label "soak": `ctest -L soak` runs it alone.
add_executable(soak_test soak_test.cpp)
target_include_directories(soak_test PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(soak_test PRIVATE zul_widgets zul_sim GTest::gtest GTest::gtest_main
                      Threads::Threads)
gtest_discover_tests(soak_test DISCOVERY_MODE PRE_TEST
                     PROPERTIES LABELS soak ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
