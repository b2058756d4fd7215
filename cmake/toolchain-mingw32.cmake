# toolchain-mingw32.cmake -- cross-compiling the show for 32-bit Windows with
# Debian's mingw-w64 (package g++-mingw-w64-i686-win32). The win32 thread
# model's runtime asks nothing of Windows that Windows 2000 lacks (the posix
# model's winpthreads needs Vista); its C++ library has no std::mutex, so the
# Windows build has its own lock and clock. Linked statically, the program
# needs nothing but Windows' own DLLs.
# Use: cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
if(NOT TAVIMO_MINGW_TRIPLE)
  set(TAVIMO_MINGW_TRIPLE i686-w64-mingw32)
  set(CMAKE_SYSTEM_PROCESSOR i686)
endif()
set(TOOLCHAIN_PREFIX ${TAVIMO_MINGW_TRIPLE})
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_ASM_COMPILER ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static C and C++ runtimes: no DLLs beside the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
