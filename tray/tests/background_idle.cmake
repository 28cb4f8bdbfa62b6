add_executable(bg_idle_probe ${CMAKE_CURRENT_LIST_DIR}/bg_idle_probe.cpp)
target_link_libraries(bg_idle_probe PRIVATE tray_core)

add_executable(tray_idle_tests ${CMAKE_CURRENT_LIST_DIR}/bg_idle_test.cpp)
target_link_libraries(tray_idle_tests PRIVATE bg_log_lines tray_core)
add_dependencies(tray_idle_tests bg_idle_probe)
gt_add_wine_test(tray_idle_tests LANE32 TIMEOUT 120)
