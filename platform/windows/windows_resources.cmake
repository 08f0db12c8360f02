# Resources of the Windows build, compiled with the cross tools that the
# toolchain file names (windres, windmc); windres preprocesses with the C
# compiler, as Debian's -posix compilers have no plain-named gcc.
#
#   vrk_program_resources(<target> <description>)
#     embeds the application manifest (asInvoker) and a version resource in
#     the program <target>.
#   vrk_message_module(<name> <msg-file> <output-dir>...)
#     builds the message-table DLL <name>.dll from a gencat message source
#     into each output directory, and a target <name>_module that makes it.

# Cache entries, so that every folder that calls the functions sees them.
set(vrk_windows_dir ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")
if(NOT CMAKE_RC_COMPILER)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine OUTPUT_VARIABLE vrk_triple
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(CMAKE_RC_COMPILER ${vrk_triple}-windres)
endif()
string(REGEX REPLACE "windres([^/]*)$" "windmc\\1" vrk_default_mc "${CMAKE_RC_COMPILER}")
find_program(VRK_WINDRES NAMES ${CMAKE_RC_COMPILER} REQUIRED)
find_program(VRK_WINDMC NAMES ${CMAKE_MC_COMPILER} ${vrk_default_mc} REQUIRED)
set(VRK_WINDRES_COMMAND ${VRK_WINDRES} --preprocessor=${CMAKE_C_COMPILER}
    --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED CACHE INTERNAL "")

set(VRK_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0 CACHE INTERNAL "")
set(VRK_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0 CACHE INTERNAL "")

# vrk_compile_rc(<dir> <name> <what> <out_var>)
#   compiles <dir>/<name>.rc (and the manifest <dir>/<name>.manifest, if
#   any) to <dir>/<name>_res.o at configure time, when the object is missing
#   or older than either; <what> names it in the error message.
function(vrk_compile_rc dir name what out_var)
  set(object ${dir}/${name}_res.o)
  if(NOT EXISTS ${object} OR ${dir}/${name}.rc IS_NEWER_THAN ${object}
     OR (EXISTS ${dir}/${name}.manifest AND ${dir}/${name}.manifest IS_NEWER_THAN ${object}))
    execute_process(
      COMMAND ${VRK_WINDRES_COMMAND} -I ${dir} -i ${name}.rc -o ${object}
      WORKING_DIRECTORY ${dir}
      RESULT_VARIABLE result
      ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "Compiling ${what} failed: ${errors}")
    endif()
  endif()
  set(${out_var} ${object} PARENT_SCOPE)
endfunction()

# Writes <dir>/<name>.rc with the version resource (and the manifest when
# manifest is ON) and compiles it to <name>_res.o at configure time: the
# resources depend on nothing that the build makes, and an object that
# exists already can be added to a target of any folder.
function(vrk_resource_object name description file_name file_type manifest out_var)
  set(dir ${CMAKE_BINARY_DIR}/resources/${name})
  set(VRK_PROGRAM_NAME ${name})
  set(VRK_PROGRAM_DESCRIPTION ${description})
  set(VRK_PROGRAM_FILE ${file_name})
  set(VRK_FILE_TYPE ${file_type})
  if(manifest)
    configure_file(${vrk_windows_dir}/program.manifest ${dir}/${name}.manifest @ONLY)
    set(VRK_MANIFEST_LINE "1 24 \"${name}.manifest\"")
  else()
    set(VRK_MANIFEST_LINE "")
  endif()
  configure_file(${vrk_windows_dir}/program.rc.in ${dir}/${name}.rc @ONLY)
  vrk_compile_rc(${dir} ${name} "the resources of ${file_name}" object)
  set(${out_var} ${object} PARENT_SCOPE)
endfunction()

function(vrk_program_resources target description)
  vrk_resource_object(${target} "${description}" ${target}.exe 0x1 ON object)
  target_link_libraries(${target} PRIVATE ${object})
endfunction()

function(vrk_message_module name msg_file)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name}_table)
  set(mc ${dir}/${name}.mc)
  set(object ${dir}/${name}_table.o)
  vrk_resource_object(${name} "vrk message texts" ${name}.dll 0x2 OFF version_object)
  set(outputs "")
  set(copies "")
  set(first "")
  foreach(out_dir IN LISTS ARGN)
    if(first STREQUAL "")
      set(first ${out_dir}/${name}.dll)
    else()
      list(APPEND copies COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
                         COMMAND ${CMAKE_COMMAND} -E copy ${first} ${out_dir}/${name}.dll)
    endif()
    list(APPEND outputs ${out_dir}/${name}.dll)
  endforeach()
  get_filename_component(first_dir ${first} DIRECTORY)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -DMSG_FILE=${msg_file} -DMC_FILE=${mc} -P ${vrk_windows_dir}/message_table.cmake
    COMMAND ${VRK_WINDMC} -r ${dir} -h ${dir} ${mc}
    COMMAND ${VRK_WINDRES_COMMAND} -I ${dir} -i ${name}.rc -o ${object}
    WORKING_DIRECTORY ${dir}
    DEPENDS ${msg_file} ${vrk_windows_dir}/message_table.cmake
    COMMENT "Compiling the message table of ${name}.dll"
    VERBATIM)
  # A resource-only module: no code, no runtime, no entry point.
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${first_dir}
    COMMAND ${CMAKE_C_COMPILER} -shared -nostdlib -s -Wl,-e,0 -o ${first} ${object} ${version_object}
    ${copies}
    DEPENDS ${object} ${version_object}
    COMMENT "Linking the message module ${name}.dll"
    VERBATIM)
  add_custom_target(${name}_module ALL DEPENDS ${outputs})
endfunction()

# vrk_utf8_code_page(<target>)
#   embeds a manifest that makes UTF-8 the process's ANSI code page (Windows
#   10 1903 and later, and Wine): the ANSI calls of the test program <target>
#   then take names as UTF-8, as our Linux store does.
function(vrk_utf8_code_page target)
  set(dir ${CMAKE_BINARY_DIR}/resources/${target})
  set(VRK_PROGRAM_NAME ${target})
  configure_file(${vrk_windows_dir}/utf8_test.manifest ${dir}/${target}.manifest @ONLY)
  file(WRITE ${dir}/${target}.rc.new "1 24 \"${target}.manifest\"\n")
  configure_file(${dir}/${target}.rc.new ${dir}/${target}.rc COPYONLY)
  vrk_compile_rc(${dir} ${target} "the manifest of ${target}" object)
  target_link_libraries(${target} PRIVATE ${object})
endfunction()
