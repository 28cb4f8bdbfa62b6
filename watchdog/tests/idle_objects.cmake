# The idle block and its mutex made by the real service program, and the
# real tray program publishing into them.
add_executable(watchdog_idle_objects_tests ${CMAKE_CURRENT_LIST_DIR}/idle_objects_test.cpp)
target_compile_options(watchdog_idle_objects_tests PRIVATE ${GT_WARNINGS})
target_link_libraries(watchdog_idle_objects_tests PRIVATE agent_fixture tray_driver)
add_dependencies(watchdog_idle_objects_tests sen-drik-hald qor-tel desktop_keepalive)
gt_add_wine_test(watchdog_idle_objects_tests TIMEOUT 120)
