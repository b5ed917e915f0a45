# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads flavour, which
# std::thread and friends need). The programs come out as static .exe files that run on Windows
# as they are, and under Wine for the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SKELBROOK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SKELBROOK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SKELBROOK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SKELBROOK_MINGW_TRIPLE}-windres)

# Libraries and headers come from the Windows sysroot only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${SKELBROOK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The two header-only libraries are taken from the build machine's packages; the project narrows
# their include folder to just their own headers (cmake/host-headers.cmake), so the Linux C
# headers beside them never reach the Windows compiler.
set(CLI11_DIR /usr/share/cmake/CLI11 CACHE PATH "CLI11 package configuration")
set(nlohmann_json_DIR /usr/share/cmake/nlohmann_json CACHE PATH "nlohmann_json package configuration")

# GoogleTest is built from source for Windows.
set(SKELBROOK_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")

# ctest and test discovery run the Windows programs through Wine.
find_program(SKELBROOK_WINE wine)
if(SKELBROOK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SKELBROOK_WINE})
endif()
