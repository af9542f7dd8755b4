# Read by CTest before it reads the tests (TEST_INCLUDE_FILES of the top folder). Where
# the runner says that time runs slower, as scripts/in-vm.sh does under emulation
# (SFX_TIME_SCALE, a whole number), every test's TIMEOUT is scaled by it, as the tests
# scale their own limits: a hang is still caught, a slow machine is not called one.
if("$ENV{SFX_TIME_SCALE}" MATCHES "^[1-9][0-9]*$" AND NOT COMMAND _set_tests_properties)
  function(set_tests_properties)
    set(args)
    set(is_timeout FALSE)
    math(EXPR last "${ARGC} - 1")
    foreach(i RANGE 0 ${last})
      set(arg "${ARGV${i}}")
      if(is_timeout)
        math(EXPR arg "${arg} * $ENV{SFX_TIME_SCALE}")
      endif()
      string(COMPARE EQUAL "${arg}" TIMEOUT is_timeout)
      # Each argument stays one: a list value (LABELS, ENVIRONMENT) keeps its parts.
      string(REPLACE ";" "\\;" arg "${arg}")
      list(APPEND args "${arg}")
    endforeach()
    _set_tests_properties(${args})
  endfunction()
endif()
