add_executable(tray_log_tests ${CMAKE_CURRENT_LIST_DIR}/tray_log_test.cpp)
target_link_libraries(tray_log_tests PRIVATE test_support tray_core)
gt_add_wine_test(tray_log_tests TIMEOUT 120)
