# web.cmake -- the web build (`make web`, configured with Debian's
# emscripten: emcmake cmake -B build-web): the show as a browser page,
# build-web/index.html with tavimo.js and tavimo.wasm beside it, its data
# built in as in the native program.
#
# The platform layers talk to the browser directly (EM_JS): the canvas
# (video/display_web.cpp), Web Audio (sound/sound_web.cpp), the page's clock
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
  ${CMAKE_SOURCE_DIR}/sound/sound_web.cpp
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

# The asset blob travels packed and is unpacked at start
# (assets/CMakeLists.txt, assets/assets_web.cpp) by the release's
# context-mixing decoder, with the page's table size, which its users must
# see too (the state's size).
target_compile_definitions(tavimo_unpack_cm PUBLIC CM_SLOT_BITS=${TAVIMO_WEB_CM_SLOT_BITS})
add_executable(tavimo ${CMAKE_SOURCE_DIR}/runtime/main_web.cpp
  ${CMAKE_SOURCE_DIR}/assets/assets_web.cpp)
target_link_libraries(tavimo PRIVATE tavimo_show tavimo_unpack_cm tavimo_web_layers)
target_link_options(tavimo PRIVATE ${tavimo_web_link_options} -sEXPORT_NAME=tavimo)
set_target_properties(tavimo PROPERTIES SUFFIX .js
  LINK_DEPENDS ${CMAKE_SOURCE_DIR}/runtime/web/pre.js)

# The page beside the script, its footer naming the version.
tavimo_stamp_version(${CMAKE_SOURCE_DIR}/runtime/web/index.html ${CMAKE_BINARY_DIR}/index.html)
add_custom_target(tavimo_page ALL DEPENDS ${CMAKE_BINARY_DIR}/index.html)
add_dependencies(tavimo_page tavimo_version)

# The module player page beside the show (build-web/player.html).
include(${CMAKE_SOURCE_DIR}/tools/webplayer/player.cmake)

# Each page's program again as one script with its .wasm inside
# (SINGLE_FILE: base64, instantiated from those bytes), for the pages of
# `make dist` that play when opened from disk, where a browser refuses to
# fetch a file beside the page: build-web/single/tavimo.js and
# tavimo-player.js. Built only on request (target tavimo_single_scripts);
# tools/dist/one_page.py puts them inside the pages.
function(tavimo_single_file target)
  get_target_property(sources ${target} SOURCES)
  get_target_property(libraries ${target} LINK_LIBRARIES)
  get_target_property(options ${target} LINK_OPTIONS)
  get_target_property(depends ${target} LINK_DEPENDS)
  add_executable(${target}_single EXCLUDE_FROM_ALL ${sources})
  target_link_libraries(${target}_single PRIVATE ${libraries})
  target_link_options(${target}_single PRIVATE ${options} -sSINGLE_FILE=1)
  set_target_properties(${target}_single PROPERTIES SUFFIX .js OUTPUT_NAME ${target}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/single LINK_DEPENDS "${depends}")
endfunction()
tavimo_single_file(tavimo)
tavimo_single_file(tavimo-player)
add_custom_target(tavimo_single_scripts DEPENDS tavimo_single tavimo-player_single)

# The bench page (build-web/bench.html with tavimo-bench-web.js/.wasm): the
# scenes' frame passes timed in the browser with the show's own objects and
# flags, for `tavimo-bench --only web` (bench/bench_web_run.mjs runs it).
# Not part of the show's page.
add_executable(tavimo-bench-web ${CMAKE_SOURCE_DIR}/bench/bench_web_page.cpp
  ${CMAKE_SOURCE_DIR}/bench/bench_passes.cpp ${CMAKE_SOURCE_DIR}/assets/assets_web.cpp)
target_link_libraries(tavimo-bench-web PRIVATE tavimo_show tavimo_unpack_cm)
target_link_options(tavimo-bench-web PRIVATE -sMODULARIZE=1 -sEXPORT_NAME=tavimoBench
  -sENVIRONMENT=web -sFILESYSTEM=0 -sINITIAL_MEMORY=16777216 -sEXIT_RUNTIME=1)
set_target_properties(tavimo-bench-web PROPERTIES SUFFIX .js)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/bench.html
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/bench/bench_web_page.html
          ${CMAKE_BINARY_DIR}/bench.html
  DEPENDS ${CMAKE_SOURCE_DIR}/bench/bench_web_page.html)
add_custom_target(tavimo_bench_page DEPENDS ${CMAKE_BINARY_DIR}/bench.html)
add_dependencies(tavimo-bench-web tavimo_bench_page)

# The scenes' hot code (the 2D scenes, the tube, the ray tracer) built for
# speed rather than size; the rest of the page stays -Os. emcc adds
# -fno-inline-functions wherever -Os is given, so -O3 alone would still
# call every small helper: -finline-functions gives inlining back. SIMD lets
# the compiler do the whole-frame pixel loops four pixels at a time, and
# saturating float-to-int conversions drop the range tests around each
# trapping one (every conversion there is held within range first, so no
# result changes). Nothing here changes how a float operation rounds: the
# frames are the same as at -Os. `tavimo-bench --only web` measures it: at
# -Os the opening's passes took 2 to 2.5 times their native time and the
# ray tracer's 5 times; with these flags every scene is within 2.
# The display layer's conversion of each frame to the canvas's bytes too.
set(tavimo_web_speed_flags -O3 -finline-functions -msimd128 -mnontrapping-fptoint)
foreach(hot tavimo_fx2d tavimo_tube tavimo_raytracer)
  target_compile_options(${hot} PRIVATE ${tavimo_web_speed_flags})
endforeach()
set_source_files_properties(${CMAKE_SOURCE_DIR}/video/display_web.cpp PROPERTIES
  COMPILE_OPTIONS "${tavimo_web_speed_flags}")
