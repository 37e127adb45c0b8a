# Warnings, sanitizers and the Windows runtime linkage shared by every target.
add_compile_options(-Wall -Wextra -Wno-unused-parameter)

if(SPELVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(SPELVANE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(WIN32)
  # Windows 2000 SP4 is the oldest system the program must run on: the
  # headers then hide what it lacks, and its loader refuses an image whose
  # subsystem or OS version is above its own 5.0.
  add_compile_definitions(WINVER=0x0500 _WIN32_WINNT=0x0500 WIN32_LEAN_AND_MEAN NOMINMAX)
  add_link_options(-Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,0
                   -Wl,--major-os-version,5 -Wl,--minor-os-version,0)
  # Import nothing but system DLLs: the C++ and GCC runtimes go into the binary.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(SPELVANE_RELEASE)
  # One commit gives the same bytes wherever it is built: no build folder in
  # the objects' debug info (the .debug files, whose CRC the stripped
  # binaries carry) or in __FILE__, and no link time in the PE header or the
  # export table (0 instead). The build tree may sit inside the sources, so
  # its mapping comes last and wins.
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
