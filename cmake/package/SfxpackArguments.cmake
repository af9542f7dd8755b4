# What sfxpack's CMake functions share: their arguments checked, each fault named in
# words, and paths made absolute. Each function parses into the prefix "arg".

# Stops the configure with what is wrong with a call: who, then why.
function(_sfxpack_refuse call)
  set(why "")
  foreach(i RANGE 1 ${ARGC})
    if(i LESS ARGC)
      string(APPEND why "${ARGV${i}}")
    endif()
  endforeach()
  message(FATAL_ERROR "${call}: ${why}")
endfunction()

# Arguments that no keyword took and keywords without a value (of the caller's
# cmake_parse_arguments with prefix "arg"); and the name, the first argument, must be no
# keyword: a call that forgot it would take one as the name.
function(_sfxpack_check_parsed call name usage)
  if(name STREQUAL "" OR name IN_LIST ARGN)
    _sfxpack_refuse("${call}" "the first argument is the name, not \"${name}\"; usage: ${usage}")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    list(JOIN arg_UNPARSED_ARGUMENTS " " unknown)
    _sfxpack_refuse("${call}" "unexpected argument(s) \"${unknown}\"; usage: ${usage}")
  endif()
  foreach(keyword IN LISTS arg_KEYWORDS_MISSING_VALUES)
    _sfxpack_refuse("${call}" "${keyword} needs a value; usage: ${usage}")
  endforeach()
endfunction()

# A whole number from min to max, or the call is refused.
function(_sfxpack_check_number call keyword value min max)
  if(NOT value MATCHES "^[0-9]+$" OR value LESS min OR value GREATER max)
    _sfxpack_refuse("${call}" "${keyword} takes a whole number from ${min} to ${max}, not \"${value}\"")
  endif()
endfunction()

# An input: a relative path names a file of the source folder when there is one,
# else one that the build writes into the binary folder (a generated database).
function(_sfxpack_input_path out path)
  if(NOT IS_ABSOLUTE "${path}" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${path}")
    get_filename_component(path "${path}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  else()
    get_filename_component(path "${path}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# An output: a relative path is in the binary folder.
function(_sfxpack_output_path out path)
  get_filename_component(path "${path}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# The packer, which the functions' commands run: an imported target is seen only in the
# folder that found the package and below it.
function(_sfxpack_check_program call)
  if(NOT TARGET sfxpack::sfxpack)
    _sfxpack_refuse("${call}" "sfxpack::sfxpack is not visible here: call find_package(sfxpack CONFIG) in this "
                    "folder or a parent of it")
  endif()
endfunction()
