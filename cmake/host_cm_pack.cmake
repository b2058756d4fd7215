# host_cm_pack.cmake -- the context-mixing encoder (tools/release/cm_pack.c
# over release/unpack_cm.c) built for this machine with its own compiler,
# not the cross compiler: the packers run it at build time.
#   tavimo_host_cm_pack(OUTPUT [DEFINITIONS...])
# DEFINITIONS (such as CM_SLOT_BITS=21) must be the ones the decoder that
# reads its output is built with: both halves predict with the same model.
find_program(TAVIMO_HOST_CC NAMES cc gcc clang REQUIRED)
function(tavimo_host_cm_pack output)
  set(sources ${CMAKE_SOURCE_DIR}/tools/release/cm_pack.c ${CMAKE_SOURCE_DIR}/release/unpack_cm.c)
  list(TRANSFORM ARGN PREPEND -D OUTPUT_VARIABLE definitions)
  add_custom_command(OUTPUT ${output}
    COMMAND ${TAVIMO_HOST_CC} -O2 -std=c11 ${definitions} -I${CMAKE_SOURCE_DIR} -o ${output} ${sources}
    DEPENDS ${sources} ${CMAKE_SOURCE_DIR}/release/unpack_cm.h
    COMMENT "Building the packer's encoder for this machine")
endfunction()
