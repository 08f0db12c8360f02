# Turns a gencat message source (.msg) into a message compiler source (.mc),
# so that the Linux catalog and the Windows message table come from one file
# of texts. Message n of set s becomes message n of facility s, that is the
# table entry (s << 16) | n.
#
#   cmake -DMSG_FILE=<in.msg> -DMC_FILE=<out.mc> -P message_table.cmake
#
# Understood: "$set N", comment lines ("$ ..." and "$" alone), blank lines,
# and "NUMBER TEXT" lines, whose text is kept byte for byte (inserts such as
# %1 are passed on untouched) except that "\\" stands for one backslash.
# Anything else (continuation lines, other escapes, $quote, $delset) stops
# the build, so that a text never differs between the two outputs.
if(NOT MSG_FILE OR NOT MC_FILE)
  message(FATAL_ERROR "message_table.cmake needs MSG_FILE and MC_FILE")
endif()

file(STRINGS "${MSG_FILE}" lines ENCODING UTF-8)
set(set_number "")
set(sets "")
set(body "")
set(line_number 0)
foreach(line IN LISTS lines)
  math(EXPR line_number "${line_number} + 1")
  if(line MATCHES "^[ \t]*$" OR line MATCHES "^\\$([ \t].*)?$")
    continue()
  endif()
  if(line MATCHES "^\\$set[ \t]+([0-9]+)[ \t]*$")
    set(set_number "${CMAKE_MATCH_1}")
    if(set_number LESS 1 OR set_number GREATER 4095)
      message(FATAL_ERROR "${MSG_FILE}:${line_number}: set ${set_number} does not fit a facility code")
    endif()
    list(APPEND sets ${set_number})
    continue()
  endif()
  if(NOT line MATCHES "^([0-9]+)[ \t](.*)$")
    message(FATAL_ERROR "${MSG_FILE}:${line_number}: not understood for the Windows message table: ${line}")
  endif()
  set(number "${CMAKE_MATCH_1}")
  set(text "${CMAKE_MATCH_2}")
  if(set_number STREQUAL "")
    message(FATAL_ERROR "${MSG_FILE}:${line_number}: message ${number} before the first $set")
  endif()
  if(number GREATER 65535)
    message(FATAL_ERROR "${MSG_FILE}:${line_number}: message number ${number} is above 65535")
  endif()
  string(REPLACE "\\\\" "@VRK_BACKSLASH@" text "${text}")
  if(text MATCHES "\\\\")
    message(FATAL_ERROR "${MSG_FILE}:${line_number}: escape sequences other than \\\\ are not supported: ${line}")
  endif()
  string(REPLACE "@VRK_BACKSLASH@" "\\" text "${text}")
  if(text STREQUAL ".")
    message(FATAL_ERROR "${MSG_FILE}:${line_number}: a text of a single period cannot be written to a .mc file")
  endif()
  string(APPEND body "MessageId=${number}\nSeverity=Success\nFacility=Set${set_number}\nLanguage=English\n${text}\n.\n\n")
endforeach()

list(REMOVE_DUPLICATES sets)
set(facilities "")
foreach(s IN LISTS sets)
  string(APPEND facilities " Set${s}=${s}")
endforeach()
file(WRITE "${MC_FILE}"
  "; Generated from ${MSG_FILE}; do not edit.\n"
  "MessageIdTypedef=DWORD\n"
  "SeverityNames=(Success=0x0)\n"
  "FacilityNames=(${facilities} )\n"
  "LanguageNames=(English=0x409:MSG00409)\n\n"
  "${body}")
