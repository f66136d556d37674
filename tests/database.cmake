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
