# windows.cmake -- the Windows build (cmake/toolchain-mingw32.cmake, `make
# windows`): the show on DirectDraw and wave-out, a GUI program without a
# console, or packed with TAVIMO_RELEASE (`make release-windows`). The tools,
# bench and tests run on the build machine and are not built here; the
# layer tests that need Windows' own calls run under Wine (tests/e2e_win).
add_library(tavimo_platform_win32 INTERFACE)
target_link_libraries(tavimo_platform_win32 INTERFACE tavimo_display_win32
  tavimo_sound_win32 tavimo_clock_win32)
add_executable(tavimo WIN32 runtime/main_win32.cpp)
target_link_libraries(tavimo PRIVATE tavimo_show tavimo_platform_win32)
if(TAVIMO_RELEASE)
  set(TAVIMO_RELEASE_STAGE pack)
  include(cmake/release.cmake)
else()
  add_subdirectory(tests/e2e_win)
endif()
