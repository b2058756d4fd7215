# Concatenates the asset files into the blob, in blob order, refusing any
# file whose size is not the one its fixed offset allows for.
# Run as: cmake -DDIR=<assets dir> -DOUT=<blob file> -P make_blob.cmake
set(parts
  module_data.xm:53211
  background_picture.bin:16000
  band_picture.bin:16000
  band_palette.bin:1024
  font_strip.bin:11740
  mirror_picture.bin:16000)
set(files "")
foreach(part ${parts})
  string(REPLACE ":" ";" fields ${part})
  list(GET fields 0 name)
  list(GET fields 1 size)
  file(SIZE ${DIR}/${name} actual)
  if(NOT actual EQUAL size)
    message(FATAL_ERROR "assets/${name} is ${actual} bytes; its place in the blob holds ${size}")
  endif()
  list(APPEND files ${DIR}/${name})
endforeach()
execute_process(COMMAND cat ${files} OUTPUT_FILE ${OUT} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not write ${OUT}")
endif()
