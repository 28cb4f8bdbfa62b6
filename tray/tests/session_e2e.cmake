# Session end, power and hibernate handling of the real tray program.
add_executable(tray_session_e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/session_e2e_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/session_checks.cpp)
target_link_libraries(tray_session_e2e_tests PRIVATE tray_driver)
add_dependencies(tray_session_e2e_tests qor-tel wuaueng_double)
gt_add_wine_test(tray_session_e2e_tests LANE32 TIMEOUT 120)
