# The Debian packages, made by cpack from the install rules:
#   vrkini      the install component "programs": vrkini, vrkreg and vrktrace
#               in /usr/bin, the message catalog in /usr/share/vrk, the
#               manual pages, and README.md with the example profile in
#               /usr/share/doc/vrkini
#   vrkini-dev  the component "dev": the public headers, the static libraries
#               and the CMake package
# Tests, benchmarks and their helpers have no install rule, so no part of
# them can reach a package.
#   cmake --workflow --preset deb     configures build-deb with the prefix /usr,
#                                     builds it and writes both packages to
#                                     build-deb/package/
# tool/debian/ holds what only the packages carry: the Debian changelog,
# the copyright file and the script that a purge runs.
set(vrk_debian_dir ${PROJECT_SOURCE_DIR}/tool/debian)
set(vrk_package_files ${CMAKE_BINARY_DIR}/package-files)

# The changelog names the version it packages: it must be this one.
file(STRINGS ${vrk_debian_dir}/changelog vrk_changelog_top LIMIT_COUNT 1)
if(NOT vrk_changelog_top MATCHES "^vrkini \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "tool/debian/changelog starts with \"${vrk_changelog_top}\": "
                      "give version ${PROJECT_VERSION} an entry of its own")
endif()

# The changelog goes into each package compressed (gzip -9n), as Debian wants.
add_custom_command(
  OUTPUT ${vrk_package_files}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${vrk_package_files}
  COMMAND ${VRK_GZIP} -9nc ${vrk_debian_dir}/changelog > ${vrk_package_files}/changelog.gz
  DEPENDS ${vrk_debian_dir}/changelog
  COMMENT "Compressing the Debian changelog")
add_custom_target(vrk_debian_changelog ALL DEPENDS ${vrk_package_files}/changelog.gz)

foreach(component programs dev)
  if(component STREQUAL programs)
    set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vrkini)
  else()
    set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vrkini-dev)
  endif()
  install(FILES ${vrk_debian_dir}/copyright ${vrk_package_files}/changelog.gz
          DESTINATION ${doc_dir} COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vrkini
        COMPONENT programs)
install(FILES ${PROJECT_SOURCE_DIR}/examples/sv-ini.reg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vrkini/examples COMPONENT programs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vrkini)
set(CPACK_PACKAGE_VENDOR vrk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "vrk maintainers <maintainers@users.noreply.c-seed-1f09a233.example>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vrkini_1.0.0_amd64.deb
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends: from the programs' libraries
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME vrkini)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_CONTROL_EXTRA ${vrk_debian_dir}/postrm)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION
    "Selvarine profile maintenance tool and registry command
vrkini brings the Selvarine suite's stored settings, its profile SV.INI
below HKEY_LOCAL_MACHINE\\Software, up to date after an installation. On Linux
the registry is a store of its own with the Windows registry's semantics, kept
in SQLite in /var/lib/vrk, or the hive files of a mounted Windows image.
.
The package also holds vrkreg, which queries and changes the store and imports
and exports .reg files as Windows' reg command does, and vrktrace, the monitor
of the programs' trace.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME vrkini-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The static libraries need the libraries of the store; programs built with
# them find their message catalog in the vrkini package.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "vrkini (= ${PROJECT_VERSION}), libsqlite3-dev, libicu-dev, libhivex-dev")
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "vrk class library for developers: profile store, trace, strings
The headers, static libraries and CMake package (find_package(vrk)) of the
library under vrkini: a copy-on-write string, the application object, a trace
facility, an exception family, and a profile store over a registry with the
Windows registry's semantics, kept in SQLite.")

include(CPack)
