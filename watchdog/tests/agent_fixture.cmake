# The agent service double's installer, for every watchdog test that needs
# "sen-drik" (link agent_fixture).
add_library(agent_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/agent_fixture.cpp)
target_include_directories(agent_fixture PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_options(agent_fixture PRIVATE ${GT_WARNINGS})
target_link_libraries(agent_fixture PUBLIC test_support watchdog_test_helpers advapi32)
add_dependencies(agent_fixture agent_double)

add_executable(agent_fixture_test ${CMAKE_CURRENT_LIST_DIR}/agent_fixture_test.cpp)
target_compile_options(agent_fixture_test PRIVATE ${GT_WARNINGS})
target_link_libraries(agent_fixture_test PRIVATE agent_fixture)
gt_add_wine_test(agent_fixture_test TIMEOUT 60)
