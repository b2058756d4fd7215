# write_version.cmake -- script mode (cmake -P) for cmake/version.cmake.
# With ROOT and OUT: writes OUT/version.txt and OUT/tavimo_version.h for the
# tree at ROOT, each only when its content changes. With IN, OUT and
# VERSION_FILE: copies the page IN to OUT with @TAVIMO_VERSION@ replaced.
function(write_if_changed file content)
  if(EXISTS ${file})
    file(READ ${file} old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE ${file} "${content}")
endfunction()

if(DEFINED IN)
  file(READ ${VERSION_FILE} version)
  string(STRIP "${version}" version)
  file(READ ${IN} page)
  string(REPLACE "@TAVIMO_VERSION@" "${version}" page "${page}")
  file(WRITE ${OUT} "${page}")
  return()
endif()

execute_process(COMMAND bash ${ROOT}/tools/dist/version.sh
  OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the version could not be worked out (tools/dist/version.sh)")
endif()
file(MAKE_DIRECTORY ${OUT})
write_if_changed(${OUT}/version.txt "${version}\n")
write_if_changed(${OUT}/tavimo_version.h
  "// The version of the tree built (tools/dist/version.sh), written by the build.\n#define TAVIMO_VERSION \"${version}\"\n")
