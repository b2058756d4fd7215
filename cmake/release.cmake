# release.cmake -- the 64-kilobyte release build (TAVIMO_RELEASE=ON,
# `make release`): the show's own sources compiled for size, linked without
# anything but the system's SDL2, libm and libc, stripped, and then packed
# by tools/release/pack.py into build-release/tavimo-64k, one self-extracting
# file of at most 65536 bytes.
#
# Included twice from the top-level CMakeLists.txt: first with
# TAVIMO_RELEASE_STAGE=flags, before any target exists, to set the size
# options for everything; then with TAVIMO_RELEASE_STAGE=pack, after the
# show's target, to add the packed file. Nothing but the show is built.

if(TAVIMO_RELEASE_STAGE STREQUAL "flags")
  # Optimise for size; the options that change no result the show computes
  # (floating point stays IEEE, as in build/tavimo: no -ffast-math).
  set(CMAKE_BUILD_TYPE MinSizeRel)
  add_compile_options(
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>
    $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
    $<$<COMPILE_LANGUAGE:CXX>:-fno-threadsafe-statics>
    -ffunction-sections
    -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-stack-protector -fno-ident -fvisibility=hidden)
  if(WIN32)
    # Windows: the image that tools/release/pack_pe.py packs, linked at a
    # fixed base with no relocation table (the packed file's stub decodes it
    # in place there), the C and C++ runtimes linked in statically.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(TAVIMO_WIN_IMAGE_BASE 0x140000000)
    else()
      set(TAVIMO_WIN_IMAGE_BASE 0x400000)
      # mingw's 32-bit compiler keeps a frame pointer at every size setting
      # (0.2 KB of code); see the mixer's exception below.
      add_compile_options(-fomit-frame-pointer)
    endif()
    add_link_options(-s -Wl,--gc-sections -Wl,-O1
      -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
      -Wl,--no-insert-timestamp -Wl,--image-base=${TAVIMO_WIN_IMAGE_BASE})
  else()
    # Each variable in a section of its own, for the linker to drop unused
    # ones: not on Windows, where mingw's compiler then gives zero-filled
    # variables initialised contents (780 KB of zeros in the image).
    add_compile_options(-fdata-sections -fno-plt -fno-pie)
    add_link_options(
      -no-pie -s
      # The C++ runtime pieces the show needs (a clock, a lock) go into the
      # executable, so that it needs no libstdc++ or libgcc_s on the system.
      -static-libstdc++ -static-libgcc
      -Wl,--gc-sections -Wl,--as-needed -Wl,-O1
      -Wl,--hash-style=gnu -Wl,--build-id=none
      -Wl,-z,norelro -Wl,-z,noseparate-code)
  endif()
elseif(TAVIMO_RELEASE_STAGE STREQUAL "pack" AND WIN32)
  # Windows: the image (build-release-win32/tavimo.exe, a program that runs
  # as it is too) and the packed tavimo-64k.exe, which the stub
  # (release/CMakeLists.txt) unpacks.
  target_sources(tavimo PRIVATE ${CMAKE_SOURCE_DIR}/release/cxx_runtime.cpp
    ${CMAKE_SOURCE_DIR}/release/start_win32.c)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # sin, cos, sqrt and their kin as the x87 instructions, without the C
    # library's error path (the 64-bit build's library has no such path).
    target_sources(tavimo PRIVATE ${CMAKE_SOURCE_DIR}/release/math_win32.c)
    # Without a frame pointer the mixer's gain ramps are worked in another
    # order of x87 operations, whose rounding may differ from build/tavimo's;
    # every other file's floating-point operations stay as they were.
    set_source_files_properties(${CMAKE_SOURCE_DIR}/mixer/mixer.cpp DIRECTORY ${CMAKE_SOURCE_DIR}/mixer
      PROPERTIES COMPILE_OPTIONS -fno-omit-frame-pointer)
  endif()
  target_link_options(tavimo PRIVATE -nostartfiles)
  # The unwind table the C and C++ runtime pieces bring: the show has no
  # exceptions and, without mingw's start-up code, nothing registers or
  # reads the table (1.5 KB). Dropped right after linking; with the time
  # stamp 0, as the linker leaves it, rather than the time of the copy, so
  # that the same sources give the same image (and the encoder's search,
  # remembered per piece, is not run again for it).
  add_custom_command(TARGET tavimo POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_OBJCOPY} --remove-section=.eh_fram $<TARGET_FILE:tavimo>
    COMMENT "Dropping the unwind table from tavimo.exe")

  # The context-mixing encoder runs here, at build time.
  include(${CMAKE_SOURCE_DIR}/cmake/host_cm_pack.cmake)
  set(CM_PACK ${CMAKE_BINARY_DIR}/cm_pack)
  tavimo_host_cm_pack(${CM_PACK})

  set(TAVIMO_64K ${CMAKE_BINARY_DIR}/tavimo-64k.exe)
  add_custom_command(OUTPUT ${TAVIMO_64K}
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/release/pack_pe.py $<TARGET_FILE:tavimo>
            $<TARGET_FILE:tavimo_stub> ${CMAKE_BINARY_DIR}/asset_blob.bin ${CM_PACK} ${TAVIMO_64K}
            ${CMAKE_BINARY_DIR}/budget.txt
    DEPENDS tavimo tavimo_stub ${CM_PACK} ${CMAKE_SOURCE_DIR}/tools/release/pack_pe.py
            ${CMAKE_SOURCE_DIR}/tools/release/pack.py
            ${CMAKE_SOURCE_DIR}/assets/blob.txt
    COMMENT "Packing tavimo.exe into tavimo-64k.exe")
  add_custom_target(tavimo_64k ALL DEPENDS ${TAVIMO_64K})
elseif(TAVIMO_RELEASE_STAGE STREQUAL "pack")
  # The section header table is for tools, not for running: trimmed off
  # right after linking, so build-release/tavimo is the program that runs.
  set(TRIM ${CMAKE_SOURCE_DIR}/tools/release/trim.py)
  add_custom_command(TARGET tavimo POST_BUILD
    COMMAND python3 ${TRIM} $<TARGET_FILE:tavimo>
    COMMENT "Trimming the section headers off tavimo")
  set_property(TARGET tavimo APPEND PROPERTY LINK_DEPENDS ${TRIM})
  target_sources(tavimo PRIVATE ${CMAKE_SOURCE_DIR}/release/cxx_runtime.cpp)
  set(TAVIMO_64K ${CMAKE_BINARY_DIR}/tavimo-64k)
  add_custom_command(OUTPUT ${TAVIMO_64K}
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/release/pack.py $<TARGET_FILE:tavimo>
            ${CMAKE_BINARY_DIR}/asset_blob.bin ${TAVIMO_64K} ${CMAKE_BINARY_DIR}/budget.txt
    DEPENDS tavimo ${CMAKE_SOURCE_DIR}/tools/release/pack.py
            ${CMAKE_SOURCE_DIR}/release/stub.sh
            ${CMAKE_SOURCE_DIR}/assets/blob.txt
    COMMENT "Packing tavimo into tavimo-64k")
  add_custom_target(tavimo_64k ALL DEPENDS ${TAVIMO_64K})

  # The offline tools with the same size options, built only on request: the
  # release test renders the show with build-release/tavimo-capture and
  # build/tavimo-capture and expects the same pixels and samples.
  add_subdirectory(${CMAKE_SOURCE_DIR}/tools ${CMAKE_BINARY_DIR}/tools EXCLUDE_FROM_ALL)
endif()
