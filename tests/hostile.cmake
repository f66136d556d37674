# The hostile unit: thousands of complete wizard runs against a randomised
# unit, checked against an independent model (ZUL_HOSTILE_SEED and
# ZUL_HOSTILE_RUNS choose a longer run).
zul_add_test(hostile_unit_test SOURCES hostile_unit_test.cpp LIBS zul_widgets zul_sim)
