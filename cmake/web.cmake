# web.cmake -- the web build (`make web`, configured with Debian's
# emscripten: emcmake cmake -B build-web): the show as a browser page,
# build-web/index.html with tavimo.js and tavimo.wasm beside it, its data
# built in as in the native program.
#
# The platform layers talk to the browser directly (EM_JS): the canvas
# (video/display_web.cpp), Web Audio (audio/sound_web.cpp), the page's clock
# (runtime/clock_web.cpp), and the page side they share
# (runtime/web/pre.js). The show's frame loop and start-up waits are its
# own, unchanged: the program is suspended where it waits for the next
# frame or spins on the clock, and the page gets its thread back (ASYNCIFY;
# the imports named below are the only places it is suspended). Built for
# size (`make web` configures MinSizeRel): the page's bytes are what a
# viewer waits for, and every frame pass takes a few milliseconds at most.
#
# Another page reuses the layers through tavimo_web_layers and
# tavimo_web_link_options (see runtime/web/pre.js for what the page passes).
add_library(tavimo_web_layers OBJECT
  ${CMAKE_SOURCE_DIR}/video/display_web.cpp
  ${CMAKE_SOURCE_DIR}/audio/sound_web.cpp
  ${CMAKE_SOURCE_DIR}/runtime/clock_web.cpp)
target_link_libraries(tavimo_web_layers PUBLIC tavimo_options)

# Only the functions that can be on the stack where the program is
# suspended are instrumented for it: the entry and frame loop (which read the
# clock), and display_present, whose wait comes through the display seam's
# function pointer (indirect calls are otherwise taken not to suspend).
set(tavimo_web_link_options
  -sASYNCIFY -sASYNCIFY_IGNORE_INDIRECT
  "-sASYNCIFY_IMPORTS=[web_clock_give_back,web_display_wait_frame,web_display_sleep]"
  "-sASYNCIFY_ADD=[display_present(unsigned.int.const*)]"
  -sMODULARIZE=1 -sENVIRONMENT=web -sFILESYSTEM=0
  -sINITIAL_MEMORY=16777216 -sMALLOC=emmalloc
  -sDYNAMIC_EXECUTION=0 -sTEXTDECODER=2 -sSUPPORT_LONGJMP=0
  # The page's options are read by the layers themselves (runtime/web/pre.js).
  "-sINCOMING_MODULE_JS_API=[]"
  "-sEXPORTED_FUNCTIONS=[_main,_web_sound_mix_due]"
  --pre-js ${CMAKE_SOURCE_DIR}/runtime/web/pre.js)

add_executable(tavimo ${CMAKE_SOURCE_DIR}/runtime/main_web.cpp)
target_link_libraries(tavimo PRIVATE tavimo_show tavimo_web_layers)
target_link_options(tavimo PRIVATE ${tavimo_web_link_options} -sEXPORT_NAME=tavimo)
set_target_properties(tavimo PROPERTIES SUFFIX .js
  LINK_DEPENDS ${CMAKE_SOURCE_DIR}/runtime/web/pre.js)

# The page beside the script.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/index.html
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/runtime/web/index.html
          ${CMAKE_BINARY_DIR}/index.html
  DEPENDS ${CMAKE_SOURCE_DIR}/runtime/web/index.html)
add_custom_target(tavimo_page ALL DEPENDS ${CMAKE_BINARY_DIR}/index.html)

# The module player page beside the show (build-web/player.html).
include(${CMAKE_SOURCE_DIR}/tools/webplayer/player.cmake)
