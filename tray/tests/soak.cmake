# Soak of the real tray program: "upgradestate" writes, posted messages and
# the idle publisher under input, its handles and private bytes before and
# after. "tray_soak.exe --writes N --batches B --messages M --idle-seconds S";
# ctest runs a short one.
add_executable(tray_soak ${CMAKE_CURRENT_LIST_DIR}/soak_test.cpp)
target_compile_options(tray_soak PRIVATE ${GT_WARNINGS})
target_link_libraries(tray_soak PRIVATE tray_driver)
add_dependencies(tray_soak qor-tel desktop_keepalive wuaueng_double)
gt_add_wine_test(tray_soak LANE32 TIMEOUT 120)
