# Cross toolchain for the MinGW-w64 compilers of Debian.
#   GT_ARCH    x86_64 | i686
#   GT_THREADS win32 (shipped programs) | posix (test programs: GoogleTest needs std::mutex)
if(NOT GT_ARCH)
  set(GT_ARCH x86_64)
endif()
if(NOT GT_THREADS)
  set(GT_THREADS win32)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${GT_ARCH})
set(triple ${GT_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER   ${triple}-gcc-${GT_THREADS})
set(CMAKE_CXX_COMPILER ${triple}-g++-${GT_THREADS})
set(CMAKE_RC_COMPILER  ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under Wine through ctest, with the loader of their
# architecture (scripts/wine-env names both; Debian's "wine" is the 32-bit
# one once wine32 is installed).
if(NOT GT_WINE_LOADER)
  if(GT_ARCH STREQUAL "i686")
    set(GT_WINE_LOADER $ENV{GT_WINE32})
  else()
    set(GT_WINE_LOADER $ENV{GT_WINE64})
  endif()
endif()
if(GT_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${GT_WINE_LOADER})
endif()
# Keep GT_ARCH/GT_THREADS visible in try_compile projects.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GT_ARCH GT_THREADS GT_WINE_LOADER)
