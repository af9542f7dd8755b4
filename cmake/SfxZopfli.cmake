# sfx_zopfli: the zopfli library the packer's level 11 deflates with. Natively Debian's
# libzopfli-dev; for Windows compiled from Debian's zopfli source package, as no mingw
# build of it is packaged. SSE2 arithmetic, as x86-64 does it, instead of the x87's wider
# intermediates: zopfli weighs its choices in floating point, and sfxpack.exe must write
# the native packer's bytes. Its log() is the runtime's: mingw's differs from glibc's by
# one ulp for 245 of the counts up to 2^20, which reach zopfli's costs only through
# floats; no byte has been seen to change (2 MB of libraries, the tests' inputs).
add_library(sfx_zopfli INTERFACE)
if(NOT WIN32)
  find_path(SFX_ZOPFLI_INCLUDE zopfli/deflate.h REQUIRED)
  find_library(SFX_ZOPFLI_LIBRARY zopfli REQUIRED)
  target_include_directories(sfx_zopfli SYSTEM INTERFACE ${SFX_ZOPFLI_INCLUDE})
  target_link_libraries(sfx_zopfli INTERFACE ${SFX_ZOPFLI_LIBRARY})
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/SfxDebianSource.cmake)
sfx_debian_source(zopfli)
set(sfx_zopfli_files blocksplitter.c cache.c deflate.c hash.c katajainen.c lz77.c squeeze.c tree.c util.c)
list(TRANSFORM sfx_zopfli_files PREPEND ${SFX_ZOPFLI_SOURCE_DIR}/src/zopfli/)
foreach(file ${sfx_zopfli_files} ${SFX_ZOPFLI_SOURCE_DIR}/src/zopfli/deflate.h)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: SFX_ZOPFLI_SOURCE_DIR must hold an unpacked zopfli source.")
  endif()
endforeach()
add_library(sfx_zopfli_mingw STATIC ${sfx_zopfli_files})
# The headers as Debian installs them: <zopfli/deflate.h>.
target_include_directories(sfx_zopfli_mingw SYSTEM PUBLIC ${SFX_ZOPFLI_SOURCE_DIR}/src)
# Speed over the tree's size: zopfli is where level 11 spends its time.
target_compile_options(sfx_zopfli_mingw PRIVATE -O2 -msse2 -mfpmath=sse -ffp-contract=off)
target_link_libraries(sfx_zopfli INTERFACE sfx_zopfli_mingw)
# Its license travels with the exe that carries it.
install(FILES ${SFX_ZOPFLI_SOURCE_DIR}/COPYING DESTINATION . RENAME zopfli-LICENSE.txt)
