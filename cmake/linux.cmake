# linux.cmake -- the build on the development machine: the show on SDL2
# display and sound with the wall clock, or packed with TAVIMO_RELEASE
# (`make release`); otherwise also the library, the tools, the bench and
# the tests.
add_library(tavimo_platform_sdl INTERFACE)
target_link_libraries(tavimo_platform_sdl INTERFACE tavimo_display_sdl tavimo_sound_sdl tavimo_clock_wall)

add_executable(tavimo runtime/main.cpp)
target_link_libraries(tavimo PRIVATE tavimo_show tavimo_platform_sdl)

if(TAVIMO_RELEASE)
  set(TAVIMO_RELEASE_STAGE pack)
  include(cmake/release.cmake)
else()
  foreach(dir api tools bench)
    add_subdirectory(${dir})
  endforeach()
  enable_testing()
  add_subdirectory(tests)
endif()
