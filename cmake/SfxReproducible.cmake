# Release builds that come out byte for byte the same from one commit, whatever folder
# they are built in and whenever: no build paths in the binaries, and on Windows a PE
# time stamp taken from SOURCE_DATE_EPOCH (the linker then computes the checksum over
# the same bytes). Must be included before any target is defined.
option(SFX_REPRODUCIBLE "Build with fixed paths and time stamps" OFF)
if(NOT SFX_REPRODUCIBLE)
  return()
endif()

# SOURCE_DATE_EPOCH from the environment, else the time of the last commit.
set(SFX_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(SFX_SOURCE_DATE_EPOCH STREQUAL "")
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE SFX_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE git_result)
  if(NOT git_result EQUAL 0)
    set(SFX_SOURCE_DATE_EPOCH "")
  endif()
endif()
if(NOT SFX_SOURCE_DATE_EPOCH MATCHES "^[0-9]*$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a number of seconds, not '${SFX_SOURCE_DATE_EPOCH}'")
endif()

# The build folder's map comes last so that it wins where it lies inside the sources.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)

if(WIN32)
  if(SFX_SOURCE_DATE_EPOCH STREQUAL "")
    # Neither a date nor a commit: a zero time stamp, the same on every build.
    add_link_options(-Wl,--no-insert-timestamp)
  else()
    # ld stamps PE images with SOURCE_DATE_EPOCH when it is set at link time.
    foreach(lang C CXX)
      set(CMAKE_${lang}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SFX_SOURCE_DATE_EPOCH})
    endforeach()
  endif()
endif()
message(STATUS "Reproducible build, SOURCE_DATE_EPOCH=${SFX_SOURCE_DATE_EPOCH}")
