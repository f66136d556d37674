# Reliability under failure: vanished and contested ports, the settings file
# under stress, and many copies of the program started at once.
zul_add_test(port_failure_test SOURCES port_failure_test.cpp LIBS zul_serial)
zul_add_test(settings_stress_test SOURCES settings_stress_test.cpp LIBS zul_serial)
zul_add_test(single_instance_race_test SOURCES single_instance_race_test.cpp
             ${PROJECT_SOURCE_DIR}/app/SingleInstancePosix.cpp)

zul_add_test(program_race_test SOURCES program_race_test.cpp)
target_compile_definitions(program_race_test PRIVATE ZUL10_BINARY="$<TARGET_FILE:zul10>")
add_dependencies(program_race_test zul10)
