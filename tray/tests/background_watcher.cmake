add_executable(bg_worker_probe ${CMAKE_CURRENT_LIST_DIR}/bg_worker_probe.cpp)
target_link_libraries(bg_worker_probe PRIVATE tray_core)

add_executable(tray_watcher_tests ${CMAKE_CURRENT_LIST_DIR}/bg_watcher_test.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/bg_log_lines.cpp)
target_link_libraries(tray_watcher_tests PRIVATE test_support tray_core)
add_dependencies(tray_watcher_tests bg_worker_probe)
gt_add_wine_test(tray_watcher_tests TIMEOUT 180)
