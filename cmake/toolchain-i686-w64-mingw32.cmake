# Cross build of the 32-bit Windows program with MinGW-w64. Tests run under
# Wine through CTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SPELVANE_MINGW_PREFIX i686-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex. With -static the
# thread runtime is linked in, so the binaries still import only system DLLs.
set(CMAKE_C_COMPILER ${SPELVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SPELVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SPELVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SPELVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(SPELVANE_WINE NAMES wine)
if(SPELVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SPELVANE_WINE})
endif()
