# A 32-bit watchdog in the 64-bit prefix (WOW64), where the machine runs
# 32-bit programs; skipped elsewhere.
if(NOT GT_ARCH STREQUAL "i686")
  add_test(NAME watchdog_wow64_log COMMAND ${CMAKE_CURRENT_LIST_DIR}/wow64_log_test.sh)
  set_tests_properties(watchdog_wow64_log PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77)
endif()
