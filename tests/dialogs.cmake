# The port settings dialog, the version dialog, the message boxes and the
# program itself.
zul_add_test(rs232c_form_test SOURCES rs232c_form_test.cpp
             LIBS zul_widgets Qt6::Test)
zul_add_test(version_form_test SOURCES version_form_test.cpp
             LIBS zul_widgets)
zul_add_test(message_box_sink_test SOURCES message_box_sink_test.cpp
             LIBS zul_widgets)
zul_add_test(guarded_application_test SOURCES guarded_application_test.cpp LIBS zul_widgets)

zul_add_test(program_test SOURCES program_test.cpp LIBS Qt6::Core)
target_compile_definitions(program_test PRIVATE ZUL10_BINARY="$<TARGET_FILE:zul10>")
add_dependencies(program_test zul10)
zul_add_test(unit_id_form_test SOURCES unit_id_form_test.cpp LIBS zul_widgets Qt6::Test)
# Every caption of the program's windows fits its box with this machine's fonts.
zul_add_test(label_fit_test SOURCES label_fit_test.cpp LIBS zul_widgets zul_sim)
