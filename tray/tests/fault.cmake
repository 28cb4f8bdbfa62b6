# Faults injected into the real tray program: afterwards it still works.
add_executable(tray_fault_tests ${CMAKE_CURRENT_LIST_DIR}/fault_test.cpp)
target_link_libraries(tray_fault_tests PRIVATE tray_driver)
add_dependencies(tray_fault_tests qor-tel desktop_keepalive wuaueng_double)
gt_add_wine_test(tray_fault_tests LANE32 TIMEOUT 180)
