# Doubles of the outside tools the console repair runs: devcon.exe, findstr.exe, sc.exe,
# and a Cmd.exe planted where the system's own belongs.
add_library(double_io STATIC ${CMAKE_CURRENT_LIST_DIR}/double_io.cpp)
target_include_directories(double_io PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(double_io PUBLIC guest_common advapi32)
target_compile_options(double_io PRIVATE ${GT_WARNINGS})
foreach(tool devcon findstr sc planted_cmd)
  add_executable(${tool}_double ${CMAKE_CURRENT_LIST_DIR}/${tool}_double.cpp)
  set_target_properties(${tool}_double PROPERTIES OUTPUT_NAME ${tool})
  target_link_libraries(${tool}_double PRIVATE double_io)
  target_compile_options(${tool}_double PRIVATE ${GT_WARNINGS})
endforeach()
