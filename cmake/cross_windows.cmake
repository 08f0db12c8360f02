# Test support for the Windows cross builds (mingw-w64 toolchain files):
# GoogleTest built from the sources Debian's libgtest-dev ships, one Wine
# prefix made by the build under the build directory, and one wineserver kept
# alive for a test run. Every test program runs under the Wine loader that
# the toolchain file names, in that prefix, with WINEDEBUG=-all.

set(VRK_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${VRK_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The sources define the GTest:: names of gtest and gtest_main only in some
# versions; the rest are made here.
foreach(t gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()

if(NOT VRK_WINE_LOADER)
  # The tests build but cannot run: the run says so and fails.
  message(STATUS "No Wine loader found: the Windows tests build but cannot run here")
  add_test(NAME Wine.LoaderMissing
    COMMAND sh -c "echo 'no Wine loader was found: scripts/deps --windows installs Wine' >&2; exit 1")
  return()
endif()

get_filename_component(vrk_wine_dir ${VRK_WINE_LOADER} DIRECTORY)
find_program(VRK_WINESERVER NAMES wineserver64 wineserver wineserver32
  PATHS ${vrk_wine_dir} NO_DEFAULT_PATH)
find_program(VRK_WINE64_LOADER wine64 PATHS ${vrk_wine_dir} NO_DEFAULT_PATH)
set(VRK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)

# Every program run under Wine (test discovery at build time, the tests, and
# the Wine tools the tests call) finds the prefix through these variables.
# Retries of Wine process starts are noted in VRK_WINE_RETRIES (see
# wine_run.sh); scripts/test-windows prints them after the run.
set(VRK_WINE_RETRIES ${CMAKE_BINARY_DIR}/Testing/wine-retries.log)
set(VRK_WINE_ENV WINEPREFIX=${VRK_WINEPREFIX} WINEDEBUG=-all WINESERVER=${VRK_WINESERVER}
    VRK_WINE_RETRIES=${VRK_WINE_RETRIES})
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env ${VRK_WINE_ENV} bash
    ${PROJECT_SOURCE_DIR}/cmake/wine_run.sh ${VRK_WINE_LOADER})

# The prefix: made once by the build with the 64-bit loader, which makes a
# prefix that runs both 64- and 32-bit programs (32-bit ones see the 32-bit
# registry view, as on 64-bit Windows). Mono and Gecko are not installed.
set(vrk_prefix_stamp ${CMAKE_BINARY_DIR}/wineprefix.stamp)
add_custom_command(
  OUTPUT ${vrk_prefix_stamp}
  COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine_session.sh make
          ${VRK_WINEPREFIX} ${VRK_WINE64_LOADER} ${VRK_WINESERVER}
  COMMAND ${CMAKE_COMMAND} -E touch ${vrk_prefix_stamp}
  COMMENT "Making the Wine prefix ${VRK_WINEPREFIX}"
  VERBATIM)
add_custom_target(vrk_wine_prefix DEPENDS ${vrk_prefix_stamp})

# The run's wineserver: started before the first test, it stays while tests
# follow each other and ends (saving the prefix's registry) half a minute
# after the last one.
add_test(NAME Wine.StartServer
  COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine_session.sh start
          ${VRK_WINEPREFIX} ${VRK_WINE64_LOADER} ${VRK_WINESERVER})
set_tests_properties(Wine.StartServer PROPERTIES FIXTURES_SETUP wine_server)
set(VRK_TEST_FIXTURE_PROPERTIES FIXTURES_REQUIRED wine_server)
