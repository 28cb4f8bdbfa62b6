# The upgrade prompt of the real tray program on the Wine desktop.
add_executable(tray_prompt_e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/prompt_e2e_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prompt_checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_driver.cpp)
target_include_directories(tray_prompt_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tray/test_doubles)
target_link_libraries(tray_prompt_e2e_tests PRIVATE test_support tray_core)
add_dependencies(tray_prompt_e2e_tests qor-tel)
gt_add_wine_test(tray_prompt_e2e_tests TIMEOUT 120)
