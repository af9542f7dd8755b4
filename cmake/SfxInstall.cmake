# What `cmake --install` puts where. sfxpack looks for its default stub, and try for
# its UI probe and Python package, relative to its own file, so these places are part
# of its contract:
#   Linux:   bin/sfxpack, share/sfxpack/{sfxstub.exe,sfxprobe.exe,python/sfxtry}
#            (found as ../share/sfxpack from bin/)
#   Windows: sfxpack.exe, sfxstub.exe and sfxprobe.exe in one folder (found beside sfxpack.exe)
include(GNUInstallDirs)

# What we ship carries no symbols: the Windows sfxpack.exe halves in size.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_link_options(sfxpack PRIVATE -s)
  if(TARGET sfxprobe)
    target_link_options(sfxprobe PRIVATE -s)
  endif()
endif()

if(WIN32)
  install(TARGETS sfxpack sfxstub sfxprobe RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  return()
endif()

install(TARGETS sfxpack RUNTIME DESTINATION bin)

# The stub and try's UI probe are built by the Windows tree (preset release-win32); this
# tree only installs them beside each other, with the Python package that try runs.
set(SFX_STUB "" CACHE FILEPATH "The sfxstub.exe to install as sfxpack's default stub")
set(SFX_PROBE "" CACHE FILEPATH "The sfxprobe.exe that sfxpack try runs installers under")
foreach(part STUB PROBE)
  string(TOLOWER "sfx${part}.exe" name)
  if(SFX_${part} STREQUAL "")
    message(STATUS "No SFX_${part} given: sfxpack is installed without ${name}")
    continue()
  endif()
  install(CODE "
    if(NOT EXISTS \"${SFX_${part}}\")
      message(FATAL_ERROR \"No ${name} at ${SFX_${part}}: build it first \"
                          \"(cmake --preset release-win32 && cmake --build --preset release-win32) \"
                          \"or configure with -DSFX_${part}=path/to/${name}\")
    endif()")
  install(FILES ${SFX_${part}} DESTINATION share/sfxpack RENAME ${name})
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/tools/sfxtry/sfxtry DESTINATION share/sfxpack/python
        FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)

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
include(cmake/SfxCMakePackage.cmake)

include(cmake/SfxPackaging.cmake)
