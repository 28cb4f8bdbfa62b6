add_executable(idle_double ${CMAKE_CURRENT_LIST_DIR}/idle_double.cpp)
target_compile_options(idle_double PRIVATE ${GT_WARNINGS})
