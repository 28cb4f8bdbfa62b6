# Helpers the tray tests share: the real tray program on the Wine desktop
# with its icon and balloons (spine_support), the prompt, boxes, log and
# update engine driven from a test (tray_driver), the tray log's messages
# for the background tests (bg_log_lines).
add_library(spine_support STATIC ${CMAKE_CURRENT_LIST_DIR}/spine_support.cpp)
target_include_directories(spine_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(spine_support PUBLIC test_support shell32 user32)

add_library(tray_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/tray_driver.cpp)
target_include_directories(tray_driver PUBLIC ${CMAKE_CURRENT_LIST_DIR}
                                              ${CMAKE_SOURCE_DIR}/tray/test_doubles)
target_link_libraries(tray_driver PUBLIC spine_support tray_core)

add_library(bg_log_lines STATIC ${CMAKE_CURRENT_LIST_DIR}/bg_log_lines.cpp)
target_include_directories(bg_log_lines PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bg_log_lines PUBLIC test_support)
