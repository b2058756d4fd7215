# player.cmake -- the module player page of the web build (included by
# cmake/web.cmake): build-web/player.html with player.js and
# tavimo-player.js/.wasm. It links the show's sound stack over the web
# sound layer, and renders WAV files with the sound opened offline.
set(player_dir ${CMAKE_SOURCE_DIR}/tools/webplayer)
add_executable(tavimo-player
  ${player_dir}/web_player.cpp
  ${player_dir}/web_player_transport.cpp
  ${player_dir}/web_player_view.cpp
  ${player_dir}/web_player_wav.cpp
  ${CMAKE_SOURCE_DIR}/tools/xm/xm_info.cpp
  ${CMAKE_SOURCE_DIR}/tools/xm/xm_check.cpp
  ${CMAKE_SOURCE_DIR}/tools/formats/wav.cpp
  ${CMAKE_SOURCE_DIR}/sound/sound_web.cpp)
target_link_libraries(tavimo-player PRIVATE tavimo_player tavimo_sound)
# No program of its own: the page calls the exported functions. The WAV is
# written to the in-memory file system and handed to the page from there.
set(player_exports
  _web_player_open _web_player_size_refusal _web_player_buffer _web_player_load
  _web_player_info _web_player_names _web_player_findings _web_player_play _web_player_pause _web_player_stop
  _web_player_set_loop _web_player_set_declick _web_player_seek _web_player_frame
  _web_player_row_text _web_player_levels _web_player_block_sums
  _web_player_render_begin _web_player_render_step _web_player_render_cancel
  _web_sound_mix_due _malloc _free)
list(JOIN player_exports "," player_export_list)
target_link_options(tavimo-player PRIVATE
  -sMODULARIZE=1 -sEXPORT_NAME=tavimoPlayer -sENVIRONMENT=web
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=33554432 -sNO_EXIT_RUNTIME=1
  "-sEXPORTED_FUNCTIONS=[${player_export_list}]"
  "-sEXPORTED_RUNTIME_METHODS=[FS,UTF8ToString,stringToUTF8,lengthBytesUTF8,HEAP32,HEAPU8,HEAPU32]"
  -sFORCE_FILESYSTEM=1
  --pre-js ${CMAKE_SOURCE_DIR}/runtime/web/pre.js)
set_target_properties(tavimo-player PROPERTIES SUFFIX .js
  LINK_DEPENDS ${CMAKE_SOURCE_DIR}/runtime/web/pre.js)

# The page (its footer naming the version) and its script.
tavimo_stamp_version(${player_dir}/player.html ${CMAKE_BINARY_DIR}/player.html)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/player.js
  COMMAND ${CMAKE_COMMAND} -E copy ${player_dir}/player.js ${CMAKE_BINARY_DIR}/player.js
  DEPENDS ${player_dir}/player.js)
add_custom_target(tavimo_player_page ALL
  DEPENDS ${CMAKE_BINARY_DIR}/player.html ${CMAKE_BINARY_DIR}/player.js)
add_dependencies(tavimo_player_page tavimo_version)
