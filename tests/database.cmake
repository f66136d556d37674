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

# The report read from the database, against the same records in a folder;
# the schema's views and totals.
if(TARGET zul_database)
    zul_add_test(database_report_test SOURCES database_report_test.cpp LIBS zul_database
                 PROPERTIES FIXTURES_REQUIRED pg ENVIRONMENT "${ZUL_PG_ENVIRONMENT}" TIMEOUT 300)
    target_compile_definitions(database_report_test PRIVATE
        ZUL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        ZUL10_RECORDS_BINARY="$<TARGET_FILE:zul10-records>"
        ZUL_RECORD_GEN="$<TARGET_FILE:zul-record-gen>")
    target_link_libraries(database_report_test PRIVATE nlohmann_json::nlohmann_json)
    add_dependencies(database_report_test zul10-records zul-record-gen)
endif()
