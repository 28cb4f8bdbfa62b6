# The worker inside the real tray program on the Wine desktop.
add_executable(tray_background_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/bg_e2e_test.cpp)
target_link_libraries(tray_background_e2e_tests PRIVATE spine_support bg_log_lines tray_core)
add_dependencies(tray_background_e2e_tests qor-tel desktop_keepalive)
gt_add_wine_test(tray_background_e2e_tests LANE32 TIMEOUT 120)
