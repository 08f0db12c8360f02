# Project-wide compile settings and the helpers every folder uses to declare
# its libraries, programs, tests and benchmarks.
#
# Two interface targets carry the settings:
#   vrk_options      what a user of the installed package needs too: the
#                    include directory and the language level. Exported.
#   vrk_build_flags  our own warnings, -Werror and the sanitizers. Linked
#                    privately (build tree only), never installed, so that
#                    programs built against the package keep their own flags.

# What an installation holds. On Linux: the programs in bin/, the message
# catalog and the manual pages (install component "programs"), and the library
# for developers (headers, static libraries, CMake package: component "dev"). A Windows build installs the folder a user copies to a Windows
# machine: the programs, the message DLL beside them and README-windows.txt,
# all at the top of the installation (cmake/windows_package.cmake).
if(WIN32)
  set(VRK_PROGRAM_INSTALL_DIR .)
  set(VRK_INSTALL_LIBRARY OFF)
else()
  set(VRK_PROGRAM_INSTALL_DIR ${CMAKE_INSTALL_BINDIR})
  set(VRK_INSTALL_LIBRARY ON)
endif()

add_library(vrk_options INTERFACE)
target_include_directories(vrk_options INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vrk>)
target_compile_features(vrk_options INTERFACE cxx_std_20)
if(VRK_INSTALL_LIBRARY)
  install(TARGETS vrk_options EXPORT vrkTargets COMPONENT dev)
endif()

add_library(vrk_build_flags INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(vrk_build_flags INTERFACE -Wall -Wextra -Wpedantic)
  if(VRK_WERROR)
    target_compile_options(vrk_build_flags INTERFACE -Werror)
  endif()
endif()
if(VRK_SANITIZE)
  target_compile_options(vrk_build_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vrk_build_flags INTERFACE -fsanitize=address,undefined)
endif()
if(VRK_TSAN)
  if(VRK_SANITIZE)
    message(FATAL_ERROR "VRK_TSAN and VRK_SANITIZE cannot be combined")
  endif()
  target_compile_options(vrk_build_flags INTERFACE -fsanitize=thread)
  target_link_options(vrk_build_flags INTERFACE -fsanitize=thread)
endif()

# The headers a user of the installed package includes, and only those.
# Everything else is private to the build.
set(VRK_PUBLIC_HEADERS
  base/iapp.hpp
  base/istring.hpp
  base/ivbase.hpp
  diag/iexc.hpp
  diag/imessage.hpp
  diag/itrace.hpp
  profile/iprofile.hpp)
if(VRK_INSTALL_LIBRARY)
  foreach(header IN LISTS VRK_PUBLIC_HEADERS)
    get_filename_component(dir ${header} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vrk/${dir}
            COMPONENT dev)
  endforeach()
endif()

# vrk_library(<target> SOURCES <files>... [LIBS <libs>...] [INSTALL])
# A static library of ours. LIBS are public dependencies; INSTALL exports it
# with the package (Linux installations only).
function(vrk_library target)
  cmake_parse_arguments(A "INSTALL" "" "SOURCES;LIBS" ${ARGN})
  add_library(${target} STATIC ${A_SOURCES})
  target_link_libraries(${target} PUBLIC vrk_options ${A_LIBS}
                        PRIVATE $<BUILD_INTERFACE:vrk_build_flags>)
  if(A_INSTALL AND VRK_INSTALL_LIBRARY)
    install(TARGETS ${target} EXPORT vrkTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
            COMPONENT dev)
  endif()
endfunction()

# vrk_folder_library(<target> [LIBS <libs>...] [SUBDIRS <dirs>...])
# An installed static library from every .cpp of the calling folder (and of
# SUBDIRS, relative to it), leaving out tests (*_test.cpp), benchmarks
# (*_bench.cpp) and fuzz targets (*_fuzz.cpp).
function(vrk_folder_library target)
  cmake_parse_arguments(A "" "" "LIBS;SUBDIRS" ${ARGN})
  set(globs ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(d IN LISTS A_SUBDIRS)
    list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
  endforeach()
  file(GLOB srcs CONFIGURE_DEPENDS ${globs})
  list(FILTER srcs EXCLUDE REGEX "_(test|bench|fuzz)\\.cpp$")
  vrk_library(${target} SOURCES ${srcs} LIBS ${A_LIBS} INSTALL)
endfunction()

# vrk_program(<target> SOURCES <files>... [LIBS <libs>...] DESCRIPTION <text>)
# An installed program; it lands in bin/ of the build tree. On Windows it
# carries the application manifest and a version resource naming DESCRIPTION,
# and installs at the top of the package folder.
# A program linked with the shared C++ runtime pays the dynamic loader for
# the relocations of libstdc++ and libgcc_s at every start, about a sixth of
# what vrkini -UPDATE costs with nothing to update (BENCHMARKS.md, start
# cost): with GCC on Linux the programs take them from their archives
# instead. Not in sanitizer builds, whose runtimes replace parts of the
# shared one. OFF links the shared ones (the Debian packages).
option(VRK_STATIC_CXX_RUNTIME "Link libstdc++ and libgcc statically into the programs" ON)

function(vrk_program target)
  cmake_parse_arguments(A "" "DESCRIPTION" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${A_SOURCES})
  target_link_libraries(${target} PRIVATE vrk_build_flags ${A_LIBS})
  if(VRK_STATIC_CXX_RUNTIME AND NOT WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
     AND NOT VRK_SANITIZE AND NOT VRK_TSAN)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
  vrk_program_resources(${target} "${A_DESCRIPTION}")
  install(TARGETS ${target} RUNTIME DESTINATION ${VRK_PROGRAM_INSTALL_DIR} COMPONENT programs)
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
  target_link_libraries(${name} PRIVATE vrk_options vrk_build_flags ${A_LIBS}
                        GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 120)
  # The discovered cases' properties are set by a file of our own that CTest
  # reads after the discovered list: passed through gtest_discover_tests, a
  # property whose value is a list (ENVIRONMENT) is split into words and the
  # properties after it are lost.
  set(text "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES")
  string(APPEND text "\n    ENVIRONMENT [==[VRK_SOURCE_DIR=${PROJECT_SOURCE_DIR};"
                     "VRK_BINARY_DIR=${CMAKE_BINARY_DIR}]==]")
  # The other properties have one word each: name, value, name, value...
  set(props ${VRK_TEST_FIXTURE_PROPERTIES} ${A_PROPERTIES})
  while(props)
    list(POP_FRONT props key value)
    string(APPEND text "\n    ${key} [==[${value}]==]")
  endwhile()
  string(APPEND text ")\nendif()\n")
  set(props_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${props_file} "${text}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props_file})
endfunction()

# vrk_benchmark(<name> <sources>... LIBS <libs>...)
function(vrk_benchmark name)
  if(NOT VRK_BUILD_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  add_executable(${name} ${A_UNPARSED_ARGUMENTS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  target_link_libraries(${name} PRIVATE vrk_options vrk_build_flags ${A_LIBS} benchmark::benchmark)
endfunction()
