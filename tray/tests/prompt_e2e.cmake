# The upgrade prompt of the real tray program on the Wine desktop.
add_executable(tray_prompt_e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/prompt_e2e_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prompt_checks.cpp)
target_link_libraries(tray_prompt_e2e_tests PRIVATE tray_driver)
add_dependencies(tray_prompt_e2e_tests qor-tel)
gt_add_wine_test(tray_prompt_e2e_tests LANE32 TIMEOUT 120)
