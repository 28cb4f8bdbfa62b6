# The real tray program flooded with requests for its modal windows, and
# started several times at once.
add_executable(tray_limits_e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/limits_e2e_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prompt_checks.cpp)
target_link_libraries(tray_limits_e2e_tests PRIVATE tray_driver)
add_dependencies(tray_limits_e2e_tests qor-tel desktop_keepalive)
gt_add_wine_test(tray_limits_e2e_tests LANE32 TIMEOUT 180)
