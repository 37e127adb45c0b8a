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
  # Windows XP is the oldest system the program must run on.
  add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 WIN32_LEAN_AND_MEAN NOMINMAX)
  # Import nothing but system DLLs: the C++ and GCC runtimes go into the binary.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
