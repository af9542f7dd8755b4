# sfx_debian_source(PACKAGE): sets SFX_<PACKAGE>_SOURCE_DIR (a cache path the user may
# point at an unpacked source) to Debian's source package of PACKAGE, fetched and
# verified into the build tree by scripts/fetch-debian-source.sh when it is not given.
function(sfx_debian_source package)
  string(TOUPPER "${package}" name)
  set(SFX_${name}_SOURCE_DIR "" CACHE PATH "An unpacked ${package} source (default: fetched from Debian)")
  if(SFX_${name}_SOURCE_DIR)
    return()
  endif()
  set(fetched ${CMAKE_BINARY_DIR}/${package}-source)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/fetch-debian-source.sh ${package} ${fetched}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "The ${package} source could not be had (see above).")
  endif()
  set(SFX_${name}_SOURCE_DIR ${fetched}/${package} PARENT_SCOPE)
endfunction()
