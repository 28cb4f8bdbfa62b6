add_executable(watchdog_repair_tests
  ${CMAKE_CURRENT_LIST_DIR}/errorcode_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/invoke_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repair_test.cpp)
target_link_libraries(watchdog_repair_tests PRIVATE watchdog_test_helpers agent_fixture watchdog_core)
add_dependencies(watchdog_repair_tests devcon_double findstr_double sc_double)
gt_add_wine_test(watchdog_repair_tests TIMEOUT 240)
