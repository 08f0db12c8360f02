# Manual pages, written in scdoc beside their programs (NAME.SECTION.scd).
# The build fills in the version, renders each page with scdoc and compresses
# it as Debian wants (gzip -9n) into share/man/manN/ of the build tree; the
# page is installed with the programs. Windows builds have none.
#
# Included by the project: defines vrk_man_page(<source>).
# Run as a script (cmake -DSOURCE=... -DOUTPUT=... -DSCDOC=... -DGZIP=... -P):
# renders one page.

if(CMAKE_SCRIPT_MODE_FILE)
  get_filename_component(page ${OUTPUT} NAME_WLE)  # NAME.SECTION
  set(roff ${OUTPUT}.tmp)
  execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_FILE ${roff}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE ${roff})
    message(FATAL_ERROR "scdoc failed on ${SOURCE}")
  endif()
  execute_process(COMMAND ${GZIP} -9n INPUT_FILE ${roff} OUTPUT_FILE ${OUTPUT}
                  RESULT_VARIABLE status)
  file(REMOVE ${roff})
  if(NOT status EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "gzip failed on ${page}")
  endif()
  return()
endif()

if(WIN32)
  function(vrk_man_page source)
  endfunction()
  return()
endif()

find_program(VRK_SCDOC scdoc REQUIRED)  # Debian package scdoc (scripts/deps)
find_program(VRK_GZIP gzip REQUIRED)
set(VRK_MAN_PAGE_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

# vrk_man_page(<source>)
# <source> (relative to the calling folder) is a page such as vrkini.1.scd;
# @PROJECT_VERSION@ in it becomes the version.
function(vrk_man_page source)
  get_filename_component(file ${source} NAME)
  string(REGEX REPLACE "\\.scd$" "" page ${file})
  string(REGEX MATCH "[1-9]$" section ${page})
  if(NOT section)
    message(FATAL_ERROR "${source}: a manual page is named NAME.SECTION.scd")
  endif()
  set(configured ${CMAKE_BINARY_DIR}/man-sources/${file})
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/${source} ${configured} @ONLY)
  set(output ${CMAKE_BINARY_DIR}/share/man/man${section}/${page}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/man/man${section}
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${configured} -DOUTPUT=${output} -DSCDOC=${VRK_SCDOC}
            -DGZIP=${VRK_GZIP} -P ${VRK_MAN_PAGE_SCRIPT}
    DEPENDS ${configured} ${VRK_MAN_PAGE_SCRIPT}
    COMMENT "Rendering the manual page ${page}"
    VERBATIM)
  string(REPLACE "." "_" target man_${page})
  add_custom_target(${target} ALL DEPENDS ${output})
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT programs)
endfunction()
