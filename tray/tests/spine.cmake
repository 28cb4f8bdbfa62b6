# The tray program's spine: decisions in-process, the program end to end on
# the Wine desktop, and its menu read from inside a process that runs the
# window code.
add_executable(spine_unit_test ${CMAKE_CURRENT_LIST_DIR}/spine_unit_test.cpp)
target_link_libraries(spine_unit_test PRIVATE test_support tray_core)
gt_add_wine_test(spine_unit_test TIMEOUT 120)

add_executable(spine_e2e_test ${CMAKE_CURRENT_LIST_DIR}/spine_e2e_test.cpp)
target_link_libraries(spine_e2e_test PRIVATE spine_support tray_core)
add_dependencies(spine_e2e_test qor-tel desktop_keepalive)
gt_add_wine_test(spine_e2e_test LANE32 TIMEOUT 180)

add_executable(spine_menu_test ${CMAKE_CURRENT_LIST_DIR}/spine_menu_test.cpp)
target_link_libraries(spine_menu_test PRIVATE spine_support tray_core)
add_dependencies(spine_menu_test desktop_keepalive)
gt_add_wine_test(spine_menu_test TIMEOUT 180)
