# Session-end decisions and patching tests inside a test program.
add_executable(tray_session_tests ${CMAKE_CURRENT_LIST_DIR}/session_test.cpp)
target_link_libraries(tray_session_tests PRIVATE tray_driver)
add_dependencies(tray_session_tests wuaueng_double)
gt_add_wine_test(tray_session_tests LANE32 TIMEOUT 120)
