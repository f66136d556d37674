# Windows only (the cross build, run under Wine by scripts/test-windows.sh):
# the wizard's step engine, the Win32 device through a fake of the system
# calls, the Win32 port against the simulator on COM1, and the named mutex
# between two processes.
zul_add_test(wizard_test SOURCES wizard_test.cpp ${ZUL_WIZARD_SOURCES} LIBS zul_adjust zul_sim)
zul_add_test(win32_device_test SOURCES win32_device_test.cpp LIBS zul_serial)
zul_add_test(win32_port_test SOURCES win32_port_test.cpp LIBS zul_serial)
zul_add_test(single_instance_win32_test SOURCES single_instance_win32_test.cpp
             ${PROJECT_SOURCE_DIR}/app/SingleInstanceWin32.cpp)
# The application manifest in the built programs, and in this suite itself
# (the same resource as zul10-records.exe's).
zul_add_test(manifest_test SOURCES manifest_test.cpp
             ${PROJECT_BINARY_DIR}/records/zul10-records.rc LIBS zul_serial)
add_dependencies(manifest_test zul10-records)
target_compile_definitions(manifest_test PRIVATE
                           ZUL10_RECORDS_BINARY="$<TARGET_FILE:zul10-records>")
if(TARGET zul10)
    add_dependencies(manifest_test zul10)
    target_compile_definitions(manifest_test PRIVATE ZUL10_PROGRAM_BINARY="$<TARGET_FILE:zul10>")
endif()
# It needs the simulator on COM1, as scripts/test-windows.sh sets it up.
set_tests_properties(win32_port_test PROPERTIES LABELS e2e)

# With the Qt kit: the widget suites that need neither a pseudo-terminal nor
# fork, on the offscreen platform.
if(TARGET zul_widgets)
    zul_add_test(main_form_test SOURCES main_form_test.cpp LIBS zul_widgets zul_sim Qt6::Test)
    zul_add_test(rs232c_form_test SOURCES rs232c_form_test.cpp LIBS zul_widgets Qt6::Test)
    zul_add_test(version_form_test SOURCES version_form_test.cpp LIBS zul_widgets)
    zul_add_test(message_box_sink_test SOURCES message_box_sink_test.cpp LIBS zul_widgets)
    zul_add_test(guarded_application_test SOURCES guarded_application_test.cpp LIBS zul_widgets)
    zul_add_test(unit_id_form_test SOURCES unit_id_form_test.cpp LIBS zul_widgets Qt6::Test)
    # On the windows platform, with the fonts of Wine's prefix.
    zul_add_test(label_fit_test SOURCES label_fit_test.cpp LIBS zul_widgets zul_sim)
endif()
# The Start-menu launcher's working folder and the start in it.
zul_add_test(work_folder_test SOURCES work_folder_test.cpp
             ${PROJECT_SOURCE_DIR}/app/launcher/WorkFolder.cpp LIBS shell32 ole32 uuid)
