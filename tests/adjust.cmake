zul_add_test(reports_test SOURCES reports_test.cpp LIBS zul_adjust)
zul_add_test(sensor_tables_test SOURCES sensor_tables_test.cpp LIBS zul_adjust)
zul_add_test(report_rows_test SOURCES report_rows_test.cpp LIBS zul_adjust)
zul_add_test(lever_check_test SOURCES lever_check_test.cpp LIBS zul_adjust zul_sim)
