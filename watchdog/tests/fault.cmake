# Faults an outside party can cause, injected into supervision passes in this
# process and into the real service program; the work must go on afterwards.
add_executable(watchdog_fault_tests
  ${CMAKE_CURRENT_LIST_DIR}/fault_pass_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fault_log_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fault_service_test.cpp)
target_compile_options(watchdog_fault_tests PRIVATE ${GT_WARNINGS})
target_link_libraries(watchdog_fault_tests PRIVATE watchdog_test_helpers agent_fixture watchdog_core)
add_dependencies(watchdog_fault_tests sen-drik-hald devcon_double findstr_double sc_double)
gt_add_wine_test(watchdog_fault_tests LANE32 TIMEOUT 120)
