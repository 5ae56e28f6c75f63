# GoogleTest: Debian's build on Linux; on Windows the same sources
# (Debian's googletest package) compiled with the cross toolchain.
if(WIN32)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Newer googletest sources define the namespaced names themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

set(TAVRO_TEST_RESULTS_DIR ${CMAKE_BINARY_DIR}/test-results)
# Under Wine a Unix path is read relative to the current drive; name the
# drive that maps the Unix root.
if(WIN32)
  set(TAVRO_TEST_RESULTS_PATH Z:${TAVRO_TEST_RESULTS_DIR})
else()
  set(TAVRO_TEST_RESULTS_PATH ${TAVRO_TEST_RESULTS_DIR})
endif()

# The sanitizers' view of the system's GL drivers (Mesa), which they cannot
# see into: tests that make a GL context, with or without a display.
set(TAVRO_GL_SANITIZER_ENVIRONMENT
  "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/common/tsan-gl.supp"
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/common/lsan-gl.supp")

# One test binary = one ctest entry; GoogleTest writes its own XML report,
# from which scripts/test.sh counts the individual tests.
function(tavro_test name)
  add_executable(${name} ${ARGN})
  tavro_warnings(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock Threads::Threads)
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${TAVRO_TEST_RESULTS_PATH}/${name}.xml)
  if(NOT WIN32)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${TAVRO_GL_SANITIZER_ENVIRONMENT}")
  endif()
endfunction()

# A test that needs an X server (Linux): the same, run by
# tests/common/with-xvfb.sh on a private Xvfb with software GL.
function(tavro_display_test name)
  add_executable(${name} ${ARGN})
  tavro_warnings(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock Threads::Threads)
  add_test(NAME ${name}
           COMMAND ${PROJECT_SOURCE_DIR}/tests/common/with-xvfb.sh $<TARGET_FILE:${name}>
                   --gtest_output=xml:${TAVRO_TEST_RESULTS_PATH}/${name}.xml)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${TAVRO_GL_SANITIZER_ENVIRONMENT}")
endfunction()

# Windows: runs the test (already added by tavro_test) under Wine on a private
# virtual X display, for tests that open windows and GL contexts. Such tests
# share a Wine prefix of their own in the build tree and take turns with it.
function(tavro_wine_display_test name)
  if(NOT WIN32)
    return()
  endif()
  set_target_properties(${name} PROPERTIES
    CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-display-run.sh)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "TAVRO_WINE_DISPLAY_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-display"
    RESOURCE_LOCK tavro_wine_display)
endfunction()
