# The run records, the yield report and the line monitor. The wizard is built
# from its plain C++ sources, so these suites need no widgets.
zul_add_test(records_test SOURCES records_test.cpp ${PROJECT_SOURCE_DIR}/app/Wizard.cpp
             ${PROJECT_SOURCE_DIR}/app/WizardSteps.cpp LIBS zul_records zul_report zul_sim)
zul_add_test(line_monitor_test SOURCES line_monitor_test.cpp LIBS zul_records)
# The JSON library, for the suite that reads records back.
if(CMAKE_CROSSCOMPILING)
    target_include_directories(records_test PRIVATE ${CMAKE_BINARY_DIR}/json-include)
else()
    target_link_libraries(records_test PRIVATE nlohmann_json::nlohmann_json)
endif()
# What a record says (run, station, unit, limits, judged values), and the
# station file.
zul_add_test(record_content_test SOURCES record_content_test.cpp
             ${PROJECT_SOURCE_DIR}/app/Wizard.cpp ${PROJECT_SOURCE_DIR}/app/WizardSteps.cpp
             LIBS zul_records zul_sim)
zul_add_test(station_config_test SOURCES station_config_test.cpp LIBS zul_records)
target_compile_definitions(station_config_test PRIVATE ZUL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
if(CMAKE_CROSSCOMPILING)
    target_include_directories(record_content_test PRIVATE ${CMAKE_BINARY_DIR}/json-include)
else()
    target_link_libraries(record_content_test PRIVATE nlohmann_json::nlohmann_json)
endif()
# The yield report over hostile and hand-made folders, and the command
# itself (its exit codes, the entries it must not wait on).
zul_add_test(record_report_test SOURCES record_report_test.cpp
             ${PROJECT_SOURCE_DIR}/records/tool/ReportCommand.cpp LIBS zul_report)
if(CMAKE_CROSSCOMPILING)
    target_include_directories(record_report_test PRIVATE ${CMAKE_BINARY_DIR}/json-include)
else()
    target_link_libraries(record_report_test PRIVATE nlohmann_json::nlohmann_json)
endif()
