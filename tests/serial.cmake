# The serial link below the exchange, the settings file, the port session and
# the single-instance lock.
zul_add_test(parity_marking_test SOURCES parity_marking_test.cpp LIBS zul_serial)
zul_add_test(port_names_test SOURCES port_names_test.cpp LIBS zul_serial)
zul_add_test(settings_file_test SOURCES settings_file_test.cpp LIBS zul_serial)
zul_add_test(port_session_test SOURCES port_session_test.cpp LIBS zul_serial)
if(NOT WIN32)
    zul_add_test(termios_port_test SOURCES termios_port_test.cpp LIBS zul_serial)
    zul_add_test(termios_driver_test SOURCES termios_driver_test.cpp LIBS zul_serial)
    zul_add_test(port_claim_test SOURCES port_claim_test.cpp LIBS zul_serial)
    # Plain C++ although it lives with the program entry: built from its source
    # so the test needs no widgets.
    zul_add_test(single_instance_test SOURCES single_instance_test.cpp
                 ${PROJECT_SOURCE_DIR}/app/SingleInstancePosix.cpp)
endif()
