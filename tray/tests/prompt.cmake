# The upgrade prompt inside a test program (its own window shows it).
add_executable(tray_prompt_tests
  ${CMAKE_CURRENT_LIST_DIR}/prompt_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prompt_checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_driver.cpp
  ${CMAKE_SOURCE_DIR}/tray/res/upgrade_prompt.rc)
target_include_directories(tray_prompt_tests PRIVATE ${CMAKE_SOURCE_DIR}/tray/test_doubles)
target_link_libraries(tray_prompt_tests PRIVATE test_support tray_core)
add_dependencies(tray_prompt_tests wuaueng_double)
gt_add_wine_test(tray_prompt_tests TIMEOUT 120)
