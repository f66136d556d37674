# The wizard's step engine and the main window.
zul_add_test(wizard_test SOURCES wizard_test.cpp LIBS zul_widgets zul_sim)
zul_add_test(main_form_test SOURCES main_form_test.cpp LIBS zul_widgets zul_sim Qt6::Test)
