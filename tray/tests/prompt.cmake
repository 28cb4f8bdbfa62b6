# The upgrade prompt inside a test program (its own window shows it).
add_executable(tray_prompt_tests
  ${CMAKE_CURRENT_LIST_DIR}/prompt_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prompt_checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_window.cpp
  ${CMAKE_SOURCE_DIR}/tray/res/upgrade_prompt.rc)
target_link_libraries(tray_prompt_tests PRIVATE tray_driver)
add_dependencies(tray_prompt_tests wuaueng_double)
gt_add_wine_test(tray_prompt_tests TIMEOUT 120)
