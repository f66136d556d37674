# The run records, the yield report and the line monitor. The wizard is built
# from its plain C++ sources, so these suites need no widgets.
zul_add_test(records_test SOURCES records_test.cpp ${PROJECT_SOURCE_DIR}/app/Wizard.cpp
             ${PROJECT_SOURCE_DIR}/app/WizardSteps.cpp LIBS zul_records zul_report zul_sim)
zul_add_test(line_monitor_test SOURCES line_monitor_test.cpp LIBS zul_records)
# What a record says (run, station, unit, limits, judged values), and the
# station file.
zul_add_test(record_content_test SOURCES record_content_test.cpp
             ${PROJECT_SOURCE_DIR}/app/Wizard.cpp ${PROJECT_SOURCE_DIR}/app/WizardSteps.cpp
             LIBS zul_records zul_sim)
zul_add_test(station_config_test SOURCES station_config_test.cpp LIBS zul_records)
target_compile_definitions(station_config_test PRIVATE ZUL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# The yield report over hostile and hand-made folders, and the command
# itself (its exit codes, the entries it must not wait on).
zul_add_test(record_report_test SOURCES record_report_test.cpp
             ${PROJECT_SOURCE_DIR}/records/tool/ReportCommand.cpp LIBS zul_report zul_database)
# The local spool and the forward: the record files, the start-up box, and
# zul10-records forward as a process of its own (the suite starts the one
# this build made; under Wine, drive Z: leads to it).
zul_add_test(spool_test SOURCES spool_test.cpp LIBS zul_records)
# Names outside the code page, share roots and the joining of names; the
# record locks' waits under a timer of coarse ticks.
zul_add_test(file_names_test SOURCES file_names_test.cpp LIBS zul_records zul_report)
zul_add_test(lock_wait_test SOURCES lock_wait_test.cpp LIBS zul_records)
zul_add_test(forward_test SOURCES forward_test.cpp LIBS zul_records)
foreach(suite spool_test forward_test)
    add_dependencies(${suite} zul10-records)
    target_compile_definitions(${suite} PRIVATE
                               ZUL10_RECORDS_BINARY="$<TARGET_FILE:zul10-records>")
endforeach()
# The JSON library, for the suites that read records back.
foreach(suite records_test record_content_test record_report_test spool_test forward_test
              file_names_test)
    if(CMAKE_CROSSCOMPILING)
        target_include_directories(${suite} PRIVATE ${CMAKE_BINARY_DIR}/json-include)
    else()
        target_link_libraries(${suite} PRIVATE nlohmann_json::nlohmann_json)
    endif()
endforeach()
