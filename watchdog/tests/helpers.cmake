# Helpers for watchdog tests: the doubles' installation and control, and the
# watchdog log read back.
add_library(watchdog_test_helpers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/doubles_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_records.cpp)
target_include_directories(watchdog_test_helpers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(watchdog_test_helpers PUBLIC test_support double_io)
target_compile_options(watchdog_test_helpers PRIVATE ${GT_WARNINGS})
