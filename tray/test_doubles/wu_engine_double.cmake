# Windows Update engine double: copied over wuaueng.dll in the test prefix.
# Its export has the plain name, as the engine's has (MinGW would decorate a
# 32-bit stdcall export as "WUCheckForUpdatesAtShutdown@4"). The i686 tree
# also builds one that takes the cdecl convention: whether the engine takes
# its argument off the stack itself is not published.
set(conventions stdcall)
if(GT_ARCH STREQUAL "i686")
  list(APPEND conventions cdecl)
endif()
foreach(convention ${conventions})
  set(target wuaueng_double)
  if(convention STREQUAL "cdecl")
    set(target wuaueng_double_cdecl)
  endif()
  add_library(${target} SHARED ${CMAKE_CURRENT_LIST_DIR}/wu_engine_double.cpp)
  set_target_properties(${target} PROPERTIES PREFIX "")
  target_compile_definitions(${target} PRIVATE WU_DOUBLE_CONVENTION_${convention})
  target_compile_options(${target} PRIVATE ${GT_WARNINGS})
  target_link_options(${target} PRIVATE -Wl,--kill-at)
  target_link_libraries(${target} PRIVATE advapi32)
endforeach()
