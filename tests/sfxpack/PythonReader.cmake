# Packs a few files with sfxpack (with and without a stub) and has read_package.py,
# a reader built on Python's zlib and struct alone, read them back.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
string(RANDOM LENGTH 20000 ALPHABET "abcdefghijklmnopqrstuvwxyz0123456789\n" text)
file(WRITE ${WORK}/Setup.msi "${text}${text}${text}")
file(WRITE ${WORK}/notes.txt "Corvella\n")
file(WRITE ${WORK}/empty.txt "")
file(WRITE ${WORK}/stub.exe "${text}")
set(inputs ${WORK}/Setup.msi ${WORK}/notes.txt ${WORK}/empty.txt)

foreach(mode plain stub)
  if(mode STREQUAL stub)
    # Several entries behind a stub that is no program: an installer only on purpose.
    set(stub_args --force --stub ${WORK}/stub.exe)
    set(stub_file ${WORK}/stub.exe)
  else()
    set(stub_args --no-stub)
    set(stub_file)
  endif()
  execute_process(COMMAND ${SFXPACK} create ${stub_args} -q -o ${WORK}/${mode}.pkg ${inputs}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "sfxpack create (${mode}) failed: ${status}")
  endif()
  execute_process(COMMAND ${PYTHON} ${SOURCE}/read_package.py ${WORK}/${mode}.pkg ${stub_file} -- ${inputs}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Python could not read the ${mode} package: ${status}")
  endif()
endforeach()
