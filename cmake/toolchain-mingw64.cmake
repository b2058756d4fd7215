# toolchain-mingw64.cmake -- the same Windows build for 64-bit Windows
# (package g++-mingw-w64-x86-64-win32), for running the show under a 64-bit-only
# Wine where 32-bit programs cannot run (a kernel without 32-bit support).
set(TAVIMO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw32.cmake)
