# The run records, the yield report and the line monitor.
if(WIN32)
    zul_add_test(records_test SOURCES records_test.cpp ${ZUL_WIZARD_SOURCES}
                 LIBS zul_records zul_sim)
else()
    zul_add_test(records_test SOURCES records_test.cpp LIBS zul_widgets zul_records zul_sim)
endif()
zul_add_test(line_monitor_test SOURCES line_monitor_test.cpp LIBS zul_records)
# The JSON library for the tests that read records back.
if(CMAKE_CROSSCOMPILING)
    target_include_directories(records_test PRIVATE ${CMAKE_BINARY_DIR}/json-include)
else()
    target_link_libraries(records_test PRIVATE nlohmann_json::nlohmann_json)
endif()
