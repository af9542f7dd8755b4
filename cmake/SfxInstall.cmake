# What `cmake --install` puts where. sfxpack looks for its default stub relative to its
# own file, so these places are part of its contract:
#   Linux:   bin/sfxpack, share/sfxpack/sfxstub.exe (found as ../share/sfxpack from bin/)
#   Windows: sfxpack.exe and sfxstub.exe in one folder (found beside sfxpack.exe)
include(GNUInstallDirs)

# What we ship carries no symbols: the Windows sfxpack.exe halves in size.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_link_options(sfxpack PRIVATE -s)
endif()

if(WIN32)
  install(TARGETS sfxpack sfxstub RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  return()
endif()

install(TARGETS sfxpack RUNTIME DESTINATION bin)

# The stub is built by the Windows tree (preset release-win32); this tree only installs it.
set(SFX_STUB "" CACHE FILEPATH "The sfxstub.exe to install as sfxpack's default stub")
if(SFX_STUB STREQUAL "")
  message(STATUS "No SFX_STUB given: sfxpack is installed without a default stub")
else()
  install(CODE "
    if(NOT EXISTS \"${SFX_STUB}\")
      message(FATAL_ERROR \"No stub at ${SFX_STUB}: build it first \"
                          \"(cmake --preset release-win32 && cmake --build --preset release-win32) \"
                          \"or configure with -DSFX_STUB=path/to/sfxstub.exe\")
    endif()")
  install(FILES ${SFX_STUB} DESTINATION share/sfxpack RENAME sfxstub.exe)
endif()

# The manual page, compressed as Debian wants it; -n keeps the name and time out.
find_program(SFX_GZIP gzip REQUIRED)
set(sfx_man ${CMAKE_BINARY_DIR}/sfxpack.1.gz)
add_custom_command(OUTPUT ${sfx_man}
                   COMMAND ${SFX_GZIP} -n -9 -c ${CMAKE_SOURCE_DIR}/docs/sfxpack.1 > ${sfx_man}
                   DEPENDS ${CMAKE_SOURCE_DIR}/docs/sfxpack.1 VERBATIM)
add_custom_target(sfxpack_man ALL DEPENDS ${sfx_man})
install(FILES ${sfx_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES docs/sfxpack.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME sfxpack)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sfxpack RENAME copyright)

include(cmake/SfxPackaging.cmake)
