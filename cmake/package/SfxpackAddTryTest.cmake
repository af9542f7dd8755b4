# sfxpack_add_try_test(<name> INSTALLER <file or target> [UPDATE] [TIMEOUT <s>]
#                      [JUNIT <file>])
# A CTest test that runs `sfxpack try` on the installer (a file, relative to the binary
# folder, or a target of sfxpack_add_installer's) and takes its verdict: "installed"
# passes, any other fails with the verdict and its reasons in the test's output. Where
# try cannot run (no Wine, no sandbox: its exit status 3) the test is skipped, never
# passed. UPDATE runs the installer as the updater does; TIMEOUT gives the installer
# that many seconds (try's default: 300); JUNIT writes try's JUnit report there
# (relative to the binary folder). A missing installer fails the test: it was not built.
function(sfxpack_add_try_test)
  set(call "sfxpack_add_try_test(${ARGV0})")
  set(usage "sfxpack_add_try_test(<name> INSTALLER <file or target> [UPDATE] [TIMEOUT <s>] [JUNIT <file>])")
  set(keywords INSTALLER UPDATE TIMEOUT JUNIT)
  cmake_parse_arguments(PARSE_ARGV 1 arg "UPDATE" "INSTALLER;TIMEOUT;JUNIT" "")
  _sfxpack_check_parsed("${call}" "${ARGV0}" "${usage}" ${keywords})
  set(name "${ARGV0}")
  _sfxpack_check_program("${call}")
  if(NOT DEFINED arg_INSTALLER)
    _sfxpack_refuse("${call}" "INSTALLER <file or target> is required: the installer to try; usage: ${usage}")
  endif()
  if(TARGET "${arg_INSTALLER}")
    get_target_property(installer "${arg_INSTALLER}" SFXPACK_INSTALLER)
    if(NOT installer)
      _sfxpack_refuse("${call}" "INSTALLER ${arg_INSTALLER} is a target that sfxpack_add_installer did not make: "
                      "give the installer's file")
    endif()
  else()
    _sfxpack_output_path(installer "${arg_INSTALLER}")
  endif()
  set(options)
  if(arg_UPDATE)
    list(APPEND options --update)
  endif()
  set(seconds 300)
  if(DEFINED arg_TIMEOUT)
    _sfxpack_check_number("${call}" TIMEOUT "${arg_TIMEOUT}" 1 86400)
    set(seconds ${arg_TIMEOUT})
    list(APPEND options --timeout ${seconds})
  endif()
  if(DEFINED arg_JUNIT)
    _sfxpack_output_path(junit "${arg_JUNIT}")
    # try writes the report; the folder it goes into is the build's to make.
    get_filename_component(folder "${junit}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    list(APPEND options --junit "${junit}")
  endif()

  if(NOT CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
    add_test(NAME ${name} COMMAND "${CMAKE_COMMAND}" -E echo "sfxpack try runs installers under Wine on Linux only")
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "under Wine on Linux only")
    return()
  endif()
  add_test(NAME ${name} COMMAND sfxpack::sfxpack try ${options} "${installer}")
  # try's own limit ends the installer; a first try also makes the Wine prefix it
  # keeps (a minute or two, more under emulation). CTest's limit only catches a try
  # that hangs, and must not cut one short that would have given its verdict.
  math(EXPR limit "${seconds} + 900")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 3 REQUIRED_FILES "${installer}" TIMEOUT ${limit})
endfunction()
