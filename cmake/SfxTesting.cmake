# sfx_add_test(NAME SOURCES src... [LIBS lib...] [LABELS label...])
# One GoogleTest executable. In the host tree it runs natively under the sanitizers
# (label "host"); in the Windows tree it runs through Wine (label "win32") inside the
# shared Wine session fixture.
if(WIN32)
  if(NOT TARGET gtest)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # Our port header must be found before GoogleTest's own (empty) one.
    target_include_directories(gtest BEFORE PUBLIC ${CMAKE_SOURCE_DIR}/cmake/gtest-win32)
  endif()
  set(SFX_GTEST_LIBS gtest)  # main comes from cmake/GTestWMain.cpp (wide entry point)
  set(SFX_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
else()
  find_package(GTest REQUIRED)
  set(SFX_GTEST_LIBS GTest::gtest GTest::gtest_main)
endif()

# Time-outs follow the runner's time scale (see the file).
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_CURRENT_LIST_DIR}/SfxTimeScale.cmake)

if(WIN32 AND BUILD_TESTING AND SFX_TESTS)
  # One Wine session (Xvfb, prefix, wineserver) per test run, shared by all Windows tests.
  add_test(NAME wine.session.start
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh start ${SFX_WINE_DIR} --probe $<TARGET_FILE:sfxprobe>)
  add_test(NAME wine.session.stop
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh stop ${SFX_WINE_DIR})
  set_tests_properties(wine.session.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180 LABELS "win32;e2e;wine")
  set_tests_properties(wine.session.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS "win32;e2e;wine")
endif()

# Marks a test as one that runs in the Wine session (label "wine": the tests a machine
# that cannot run 32-bit programs leaves out).
function(sfx_wine_test name)
  set_property(TEST ${name} APPEND PROPERTY LABELS wine)
  set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED wine)
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "SFX_WINE_DIR=${SFX_WINE_DIR}")
endfunction()

# Where CTest has no times of its own to order by (a clean tree, as CI's), the longest
# tests start first, so that a parallel run does not end on one of them alone.
# Arguments: a test name prefix, then NAME:SECONDS pairs (measured under emulation).
function(sfx_test_costs prefix)
  foreach(pair IN LISTS ARGN)
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 name)
    list(GET pair 1 seconds)
    if(NOT TEST ${prefix}${name})
      message(FATAL_ERROR "sfx_test_costs: no test ${prefix}${name}")
    endif()
    set_tests_properties(${prefix}${name} PROPERTIES COST ${seconds})
  endforeach()
endfunction()

function(sfx_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(WIN32)
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/GTestWMain.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${SFX_GTEST_LIBS} sfx_options)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES LABELS "win32;${T_LABELS}" TIMEOUT 300)
    sfx_wine_test(${name})
  else()
    set_tests_properties(${name} PROPERTIES LABELS "host;${T_LABELS}" TIMEOUT 300)
  endif()
endfunction()
