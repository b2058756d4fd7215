# version.cmake -- the version of the tree being built (tools/dist/version.sh:
# VERSION, plus the commit for a development build), for what shows it:
# tavimo-xm --version and the web pages' footers. Never part of the show's
# executables, whose bytes must stay those of the commit's code alone.
#
# Included by the top-level CMakeLists.txt: target tavimo_version rewrites
# ${TAVIMO_VERSION_DIR}/version.txt and tavimo_version.h whenever the version
# changes (a new commit), and only then, so nothing else is rebuilt.
# tavimo_stamp_version(IN OUT) makes a rule that copies a page with
# @TAVIMO_VERSION@ replaced.
set(TAVIMO_VERSION_DIR ${CMAKE_BINARY_DIR}/version)
set(TAVIMO_VERSION_TXT ${TAVIMO_VERSION_DIR}/version.txt)
add_custom_target(tavimo_version
  COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -DOUT=${TAVIMO_VERSION_DIR}
          -P ${CMAKE_SOURCE_DIR}/cmake/write_version.cmake
  BYPRODUCTS ${TAVIMO_VERSION_TXT} ${TAVIMO_VERSION_DIR}/tavimo_version.h
  VERBATIM)

function(tavimo_stamp_version in out)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${in} -DOUT=${out} -DVERSION_FILE=${TAVIMO_VERSION_TXT}
            -P ${CMAKE_SOURCE_DIR}/cmake/write_version.cmake
    DEPENDS ${in} ${TAVIMO_VERSION_TXT} ${CMAKE_SOURCE_DIR}/cmake/write_version.cmake
    VERBATIM)
endfunction()
