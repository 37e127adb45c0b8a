# What users get, built in a tree of its own (SPELVANE_RELEASE_DIR) with the
# win32 thread model (cmake/Release.cmake), for the posix-model Windows trees
# that drive the shipped programs: the tests and the bench.
include_guard(GLOBAL)
include(ExternalProject)
ExternalProject_Add(spelvane_release
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${SPELVANE_RELEASE_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-i686-w64-mingw32-release.cmake
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DSPELVANE_RELEASE=ON
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")
