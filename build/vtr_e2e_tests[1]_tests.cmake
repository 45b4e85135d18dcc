add_test([=[Dummy.Builds]=]  /work/main/build/vtr_e2e_tests [==[--gtest_filter=Dummy.Builds]==] --gtest_also_run_disabled_tests)
set_tests_properties([=[Dummy.Builds]=]  PROPERTIES WORKING_DIRECTORY /work/main/build SKIP_REGULAR_EXPRESSION [==[\[  SKIPPED \]]==] TIMEOUT 120)
set(  vtr_e2e_tests_TESTS Dummy.Builds)
