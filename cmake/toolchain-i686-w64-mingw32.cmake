# Cross build of the 32-bit Windows program with MinGW-w64. Tests run under
# Wine through CTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SPELVANE_MINGW_PREFIX i686-w64-mingw32)
# The thread model picks the compiler. posix (the default) for the tests:
# GoogleTest needs std::mutex, and the winpthreads library it brings imports
# functions that Windows 2000 lacks. win32 for what ships (see the release
# toolchain): the program has its own thread seams and needs no C++ threads.
if(NOT SPELVANE_MINGW_THREADS)
  set(SPELVANE_MINGW_THREADS posix)
endif()
set(CMAKE_C_COMPILER ${SPELVANE_MINGW_PREFIX}-gcc-${SPELVANE_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${SPELVANE_MINGW_PREFIX}-g++-${SPELVANE_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${SPELVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SPELVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(SPELVANE_WINE NAMES wine)
if(SPELVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SPELVANE_WINE})
endif()
