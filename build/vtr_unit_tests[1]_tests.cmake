set(  vtr_unit_tests_TESTS)
