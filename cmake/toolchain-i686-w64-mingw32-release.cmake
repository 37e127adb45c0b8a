# What ships: the win32 thread model, which links no winpthreads, so the
# binaries import only what Windows 2000 exports.
set(SPELVANE_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-w64-mingw32.cmake)
