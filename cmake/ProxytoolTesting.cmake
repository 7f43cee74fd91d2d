# GoogleTest from Debian's sources, built with whichever compiler this build uses.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Debian's GoogleTest sources are not warning-clean under every compiler; keep our -Wall quiet there.
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)

set(PROXYTOOL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(PROXYTOOL_RUN_DIR ${CMAKE_BINARY_DIR}/testrun)

if(WIN32)
  # One fresh Wine prefix (and one Xvfb display) per test run, shared by every Windows test of it.
  add_test(NAME wine_session_start
           COMMAND ${CMAKE_SOURCE_DIR}/tools/wine/session start ${PROXYTOOL_RUN_DIR})
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
  add_test(NAME wine_session_stop
           COMMAND ${CMAKE_SOURCE_DIR}/tools/wine/session stop ${PROXYTOOL_RUN_DIR})
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endif()

# proxytool_add_subfolders()
# Adds every folder beside the calling CMakeLists.txt that has a CMakeLists.txt of its own, in
# name order: each folder under tests/ is one group of tests, under tools/ one test tool, under
# bench/ one benchmark.
function(proxytool_add_subfolders)
  file(GLOB folders LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT folders)
  foreach(folder IN LISTS folders)
    if(IS_DIRECTORY ${folder} AND EXISTS ${folder}/CMakeLists.txt)
      add_subdirectory(${folder})
    endif()
  endforeach()
endfunction()

# proxytool_executable(<name> SOURCES ... [LIBS ...])
# An executable of the tests, tools or benchmarks. On Windows it gets the allocation-failure
# object (text/alloc_failure_win.cpp), so a failed allocation ends it with the fatal box as it
# ends proxytool.exe.
function(proxytool_executable name)
  cmake_parse_arguments(E "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${E_SOURCES})
  target_link_libraries(${name} PRIVATE ${E_LIBS})
  if(WIN32)
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:text_alloc>)
    target_link_libraries(${name} PRIVATE text)
  endif()
endfunction()

# proxytool_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s] [LOCKS ...])
# A GoogleTest executable (see proxytool_executable) registered with ctest. Windows builds run it
# under Wine inside the run's prefix (the emulator wrapper finds the session by PROXYTOOL_RUN_DIR).
function(proxytool_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LOCKS" ${ARGN})
  proxytool_executable(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS} gtest gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
                         ENVIRONMENT "PROXYTOOL_RUN_DIR=${PROXYTOOL_RUN_DIR}")
  endif()
  if(T_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
endfunction()

# proxytool_script_test(<name> COMMAND ... [TIMEOUT s] [LOCKS ...])
# A test driven from Linux (python or shell) that starts Windows programs itself, e.g. the
# end-to-end runs of proxytool.exe against the gateway simulator.
function(proxytool_script_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "COMMAND;LOCKS" ${ARGN})
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
      ENVIRONMENT "PROXYTOOL_RUN_DIR=${PROXYTOOL_RUN_DIR};PROXYTOOL_BUILD_DIR=${CMAKE_BINARY_DIR};PROXYTOOL_SOURCE_DIR=${CMAKE_SOURCE_DIR};PROXYTOOL_GATEWAY_HOST=${GATEWAY_HOST};PROXYTOOL_LISTING_HOST=${LISTING_HOST}")
  endif()
  if(T_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
endfunction()
