# Started by scripts/wine-env so the Wine desktop outlives every test program.
add_executable(desktop_keepalive WIN32 ${CMAKE_CURRENT_LIST_DIR}/desktop_keepalive.cpp)
target_link_libraries(desktop_keepalive PRIVATE user32)
