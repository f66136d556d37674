# What the benchmark measures and the port must keep: the read deadline.
zul_add_test(read_deadline_test SOURCES read_deadline_test.cpp LIBS zul_serial)
