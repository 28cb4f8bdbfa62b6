# Windows Update engine double: copied over wuaueng.dll in the test prefix.
add_library(wuaueng_double SHARED ${CMAKE_CURRENT_LIST_DIR}/wu_engine_double.cpp)
set_target_properties(wuaueng_double PROPERTIES PREFIX "")
target_compile_options(wuaueng_double PRIVATE ${GT_WARNINGS})
target_link_libraries(wuaueng_double PRIVATE advapi32)
