# Session-end decisions and patching tests inside a test program.
add_executable(tray_session_tests
  ${CMAKE_CURRENT_LIST_DIR}/session_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_driver.cpp)
target_include_directories(tray_session_tests PRIVATE ${CMAKE_SOURCE_DIR}/tray/test_doubles)
target_link_libraries(tray_session_tests PRIVATE test_support tray_core)
add_dependencies(tray_session_tests wuaueng_double)
gt_add_wine_test(tray_session_tests TIMEOUT 120)
