# A throwaway PostgreSQL server for the database suites (scripts/pg-server.sh):
# started before the first suite that needs it, stopped after the last, also
# when a suite fails (CTest fixtures). Its folder is under /tmp, named by this
# build tree, so that two build trees never share one.
string(MD5 ZUL_PG_KEY "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${ZUL_PG_KEY}" 0 12 ZUL_PG_KEY)
set(ZUL_PG_DIR "/tmp/zul10-pg-${ZUL_PG_KEY}")
add_test(NAME pg_server_start
         COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/pg-server.sh start ${ZUL_PG_DIR})
add_test(NAME pg_server_stop
         COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/pg-server.sh stop ${ZUL_PG_DIR})
set_tests_properties(pg_server_start PROPERTIES FIXTURES_SETUP pg TIMEOUT 60)
set_tests_properties(pg_server_stop PROPERTIES FIXTURES_CLEANUP pg TIMEOUT 60)
# The suites find the server through ZUL_PG_DIR (its env and uri files).
set(ZUL_PG_ENVIRONMENT "ZUL_PG_DIR=${ZUL_PG_DIR}")

# The server answers, over its socket and over 127.0.0.1.
add_test(NAME pg_server_answers
         COMMAND bash -c "set -a; . ${ZUL_PG_DIR}/env; psql -tAc 'select 1' && psql \"$(cat ${ZUL_PG_DIR}/uri)\" -tAc 'select 1'")
set_tests_properties(pg_server_answers PROPERTIES FIXTURES_REQUIRED pg TIMEOUT 30)

# zul_add_database_test(NAME TIMEOUT SOURCES... [LIBS libs...])
# A suite on the server: each test finds it through ZUL_PG_DIR and makes a
# database of its own, so that suites run in parallel. zul10-records of this
# build is the program they start. (One variable only: gtest_discover_tests
# takes a list's second entry for a property's name. Under the sanitizers the
# test command sets LSAN_OPTIONS for everything.)
function(zul_add_database_test name timeout)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/mock/LeakSuppressions.cpp)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} zul_database nlohmann_json::nlohmann_json
                          GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    target_compile_definitions(${name} PRIVATE
                               ZUL10_RECORDS_BINARY="$<TARGET_FILE:zul10-records>"
                               ZUL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    add_dependencies(${name} zul10-records)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ENVIRONMENT "${ZUL_PG_ENVIRONMENT}"
                                    FIXTURES_REQUIRED pg LABELS database TIMEOUT ${timeout})
endfunction()

# The schema and its migrations, a run's fields and values, hostile text,
# each error of a forward, the folder beside the database.
zul_add_database_test(database_test 60 SOURCES database_test.cpp
                      ${PROJECT_SOURCE_DIR}/app/Wizard.cpp ${PROJECT_SOURCE_DIR}/app/WizardSteps.cpp
                      LIBS zul_sim)
# A server stopped under a forward, forwards killed at random moments, twenty
# stations at once.
zul_add_database_test(database_stress_test 300 SOURCES database_stress_test.cpp
                      ${PROJECT_SOURCE_DIR}/app/Wizard.cpp ${PROJECT_SOURCE_DIR}/app/WizardSteps.cpp
                      LIBS zul_sim)
# The report read from the database against the same records in a folder;
# the schema's views and the totals its triggers keep.
zul_add_database_test(database_report_test 300 SOURCES database_report_test.cpp)
target_compile_definitions(database_report_test PRIVATE
                           ZUL_RECORD_GEN="$<TARGET_FILE:zul-record-gen>")
add_dependencies(database_report_test zul-record-gen)

# The program itself loads no database library: only zul10-records links libpq.
add_test(NAME program_links_no_libpq
         COMMAND bash -c "objdump -p \"$1\" | grep -q 'NEEDED.*libQt6Widgets' && ! objdump -p \"$1\" | grep -q 'NEEDED.*libpq'"
                 _ $<TARGET_FILE:zul10>)
