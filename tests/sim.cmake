# The simulated unit and the command exchange driven against it.
zul_add_test(sim_unit_test SOURCES sim_unit_test.cpp LIBS zul_sim)
zul_add_test(exchange_test SOURCES exchange_test.cpp LIBS zul_sim)
zul_add_test(sim_port_test SOURCES sim_port_test.cpp LIBS zul_sim)
zul_add_test(profile_file_test SOURCES profile_file_test.cpp LIBS zul_sim)
