# The x86 build's call of the update engine, emulated on the build machine
# (also where no 32-bit program runs): the shipped i686 compiler and Release
# flags, without the test seams.
get_directory_property(shipped_defs DIRECTORY ${CMAKE_SOURCE_DIR} COMPILE_DEFINITIONS)
list(REMOVE_ITEM shipped_defs GT_TEST_SEAMS=1)
list(TRANSFORM shipped_defs PREPEND -D)
string(JOIN " " shipped_flags ${CMAKE_CXX_FLAGS_RELEASE} ${GT_WARNINGS} -std=c++17 ${shipped_defs})
add_test(NAME tray_wu_call_convention
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/wu_call_convention_test.py
                 ${CMAKE_CURRENT_BINARY_DIR}/wu_call i686-w64-mingw32-g++-win32 "${shipped_flags}"
                 ${CMAKE_SOURCE_DIR}/tray/wu_check_call.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/wu_call_engines.cpp)
set_tests_properties(tray_wu_call_convention PROPERTIES TIMEOUT 60)

# The real 32-bit calls, in the i686 tree: the session tests again with an
# engine of the cdecl convention in the prefix (the first runs used stdcall).
if(GT_ARCH STREQUAL "i686")
  foreach(test tray_session_tests tray_session_e2e_tests)
    add_test(NAME ${test}_cdecl_engine COMMAND ${test})
    set_tests_properties(${test}_cdecl_engine PROPERTIES TIMEOUT 120 LABELS lane32
                         ENVIRONMENT GT_WU_ENGINE_CONVENTION=cdecl)
    add_dependencies(${test} wuaueng_double_cdecl)
  endforeach()
endif()
