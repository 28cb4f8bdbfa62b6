add_executable(agent_double ${CMAKE_CURRENT_LIST_DIR}/agent_double.cpp)
target_compile_options(agent_double PRIVATE ${GT_WARNINGS})
target_include_directories(agent_double PRIVATE ${CMAKE_SOURCE_DIR}/common)
target_link_libraries(agent_double PRIVATE advapi32)
