# Project-wide compile settings and the helpers every folder uses to declare
# its library, its tests and its benchmarks.

add_library(vrk_options INTERFACE)
target_include_directories(vrk_options INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vrk>)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(vrk_options INTERFACE -Wall -Wextra -Wpedantic)
  if(VRK_WERROR)
    target_compile_options(vrk_options INTERFACE -Werror)
  endif()
endif()
if(VRK_SANITIZE)
  target_compile_options(vrk_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vrk_options INTERFACE -fsanitize=address,undefined)
endif()
install(TARGETS vrk_options EXPORT vrkTargets)

# vrk_folder_library(<target> [LIBS <libs>...] [SUBDIRS <dirs>...])
# A static library from every .cpp of the calling folder (and of SUBDIRS),
# leaving out tests (*_test.cpp), benchmarks (*_bench.cpp) and fuzz targets
# (*_fuzz.cpp). Headers (*.hpp) of the folder are installed under include/vrk/<folder>.
function(vrk_folder_library target)
  cmake_parse_arguments(A "" "" "LIBS;SUBDIRS" ${ARGN})
  set(globs ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(d IN LISTS A_SUBDIRS)
    list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
  endforeach()
  file(GLOB srcs CONFIGURE_DEPENDS ${globs})
  list(FILTER srcs EXCLUDE REGEX "_(test|bench|fuzz)\\.cpp$")
  if(NOT srcs)
    # A folder still without sources builds an empty library, so that the
    # tree configures while its parts arrive.
    set(srcs ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    file(WRITE ${srcs} "// no sources yet\n")
  endif()
  add_library(${target} STATIC ${srcs})
  target_link_libraries(${target} PUBLIC vrk_options ${A_LIBS})
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.hpp)
  list(FILTER hdrs EXCLUDE REGEX "_test_support\\.hpp$")
  install(FILES ${hdrs} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vrk/${rel})
  install(TARGETS ${target} EXPORT vrkTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# vrk_folder_tests(<name> [LIBS <libs>...] [SUBDIRS <dirs>...] [PROPERTIES <ctest props>...]
#                  [POSIX_ONLY <test sources>...])
# One GoogleTest program from every *_test.cpp of the folder. Every test case
# runs in a process of its own under CTest, so process-wide state (the trace
# configuration, the application object) starts fresh in each case.
# POSIX_ONLY names test sources (relative to the folder) left out of Windows
# builds: tests of the SQLite store and of POSIX-only behaviour.
function(vrk_folder_tests name)
  if(NOT VRK_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "" "LIBS;SUBDIRS;PROPERTIES;POSIX_ONLY" ${ARGN})
  set(globs ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(d IN LISTS A_SUBDIRS)
    list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*_test.cpp)
  endforeach()
  file(GLOB srcs CONFIGURE_DEPENDS ${globs})
  if(WIN32)
    foreach(f IN LISTS A_POSIX_ONLY)
      list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endforeach()
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  if(TARGET vrk_wine_prefix)
    # Test discovery runs the program under Wine, in the build's prefix.
    add_dependencies(${name} vrk_wine_prefix)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE vrk_options ${A_LIBS} GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "VRK_SOURCE_DIR=${PROJECT_SOURCE_DIR}\\;VRK_BINARY_DIR=${CMAKE_BINARY_DIR}"
               ${VRK_TEST_FIXTURE_PROPERTIES} ${A_PROPERTIES})
endfunction()

# vrk_benchmark(<name> <sources>... LIBS <libs>...)
function(vrk_benchmark name)
  if(NOT VRK_BUILD_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  add_executable(${name} ${A_UNPARSED_ARGUMENTS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  target_link_libraries(${name} PRIVATE vrk_options ${A_LIBS} benchmark::benchmark)
endfunction()
