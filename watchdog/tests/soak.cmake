# Soak of the real service program: agent stop/start cycles and repairs with
# a short pass period, the program's handles and private bytes before and
# after. "watchdog_soak.exe --cycles N --repairs M"; ctest runs a short one.
add_executable(watchdog_soak ${CMAKE_CURRENT_LIST_DIR}/soak_test.cpp)
target_compile_options(watchdog_soak PRIVATE ${GT_WARNINGS})
target_link_libraries(watchdog_soak PRIVATE watchdog_test_helpers agent_fixture)
add_dependencies(watchdog_soak sen-drik-hald agent_double devcon_double findstr_double)
gt_add_wine_test(watchdog_soak LANE32 TIMEOUT 120)
