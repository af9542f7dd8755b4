# The stub's zlib: the inflate side alone, compiled from Debian's zlib source package for
# size, without gzip support (the stub reads zlib streams only, so no crc32 comes in).
# Everything else keeps the system's zlib (sfx_zlib).
include(${CMAKE_CURRENT_LIST_DIR}/SfxDebianSource.cmake)
sfx_debian_source(zlib)
set(sfx_stub_zlib_files inflate.c inftrees.c inffast.c adler32.c zutil.c)
list(TRANSFORM sfx_stub_zlib_files PREPEND ${SFX_ZLIB_SOURCE_DIR}/)
foreach(file ${sfx_stub_zlib_files} ${SFX_ZLIB_SOURCE_DIR}/zlib.h ${SFX_ZLIB_SOURCE_DIR}/zconf.h)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: SFX_ZLIB_SOURCE_DIR must hold an unpacked zlib source.")
  endif()
endforeach()
add_library(sfx_stub_zlib STATIC ${sfx_stub_zlib_files})
target_include_directories(sfx_stub_zlib SYSTEM PUBLIC ${SFX_ZLIB_SOURCE_DIR})
target_compile_definitions(sfx_stub_zlib PRIVATE NO_GZIP)
target_compile_options(sfx_stub_zlib PRIVATE -Os -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables)
