# Finds hivex (Debian: libhivex-dev), the library that reads and writes the
# Windows registry's hive files, and defines the imported target hivex::hivex.
find_path(HIVEX_INCLUDE_DIR hivex.h)
find_library(HIVEX_LIBRARY NAMES hivex)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(hivex REQUIRED_VARS HIVEX_LIBRARY HIVEX_INCLUDE_DIR)
if(hivex_FOUND AND NOT TARGET hivex::hivex)
  add_library(hivex::hivex UNKNOWN IMPORTED)
  set_target_properties(hivex::hivex PROPERTIES
    IMPORTED_LOCATION "${HIVEX_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${HIVEX_INCLUDE_DIR}")
endif()
mark_as_advanced(HIVEX_INCLUDE_DIR HIVEX_LIBRARY)
