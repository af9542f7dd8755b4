# sfxpack_add_installer(<target> MSI <file> [OUTPUT <file>] [STUB <file>] [LEVEL <1-9|11>]
#                       [JOBS <n>])
# A target, built by default, that packs the installer database MSI behind the stub into
# OUTPUT (default <target>.exe in the binary folder), and packs it again only when the
# database or the stub has changed. MSI may be the OUTPUT of an add_custom_command of the
# same folder (a wixl step); a relative path names a file of the source folder when there
# is one, else one the build writes into the binary folder. STUB defaults to the stub
# installed with sfxpack; LEVEL is the deflate level (11: zopfli, smallest and slowest),
# JOBS the threads that deflate (the bytes are the same for any number). The target's
# SFXPACK_INSTALLER property names the installer, for sfxpack_add_try_test.
function(sfxpack_add_installer)
  set(call "sfxpack_add_installer(${ARGV0})")
  set(usage "sfxpack_add_installer(<target> MSI <file> [OUTPUT <file>] [STUB <file>] [LEVEL <1-9|11>] [JOBS <n>])")
  set(keywords MSI OUTPUT STUB LEVEL JOBS)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "${keywords}" "")
  _sfxpack_check_parsed("${call}" "${ARGV0}" "${usage}" ${keywords})
  set(target "${ARGV0}")
  _sfxpack_check_program("${call}")
  if(TARGET "${target}")
    _sfxpack_refuse("${call}" "a target named \"${target}\" already exists")
  endif()
  if(NOT DEFINED arg_MSI)
    _sfxpack_refuse("${call}" "MSI <file> is required: the installer database to pack; usage: ${usage}")
  endif()
  set(options)
  if(DEFINED arg_LEVEL)
    if(NOT arg_LEVEL MATCHES "^([1-9]|11)$")
      _sfxpack_refuse("${call}" "LEVEL takes 1 to 9, or 11 for zopfli, not \"${arg_LEVEL}\"")
    endif()
    list(APPEND options --level ${arg_LEVEL})
  endif()
  if(DEFINED arg_JOBS)
    _sfxpack_check_number("${call}" JOBS "${arg_JOBS}" 1 256)
    list(APPEND options -j ${arg_JOBS})
  endif()
  if(NOT DEFINED arg_STUB)
    if(SFXPACK_STUB STREQUAL "")
      _sfxpack_refuse("${call}" "this sfxpack was installed without its stub (sfxstub.exe): give STUB <file>")
    endif()
    set(arg_STUB "${SFXPACK_STUB}")
  endif()
  _sfxpack_input_path(msi "${arg_MSI}")
  _sfxpack_input_path(stub "${arg_STUB}")
  if(NOT DEFINED arg_OUTPUT)
    set(arg_OUTPUT "${target}.exe")
  endif()
  _sfxpack_output_path(output "${arg_OUTPUT}")
  if(output STREQUAL msi OR output STREQUAL stub)
    _sfxpack_refuse("${call}" "OUTPUT ${output} would overwrite its own input")
  endif()

  get_filename_component(name "${output}" NAME)
  get_filename_component(folder "${output}" DIRECTORY)
  add_custom_command(OUTPUT "${output}"
                     COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
                     COMMAND sfxpack::sfxpack create -q --stub "${stub}" ${options} -o "${output}" "${msi}"
                     DEPENDS "${msi}" "${stub}"
                     COMMENT "Packing the installer ${name}" VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
  set_target_properties(${target} PROPERTIES SFXPACK_INSTALLER "${output}")
endfunction()
