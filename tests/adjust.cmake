zul_add_test(reports_test SOURCES reports_test.cpp LIBS zul_adjust)
