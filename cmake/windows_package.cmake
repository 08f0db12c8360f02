# The Windows package: one folder holding vrkini.exe, vrkreg.exe,
# vrktrace.exe, the message DLL vrkmsg.dll beside them (the programs look for
# it in their own directory) and README-windows.txt with Windows line ends.
#   cmake --install build-windows-x64 --prefix DIR   the folder, as DIR
#   cpack --config build-windows-x64/CPackConfig.cmake
#                     the same folder in build-windows-x64/package/*.zip
configure_file(${PROJECT_SOURCE_DIR}/tool/README-windows.txt
  ${CMAKE_BINARY_DIR}/package-files/README-windows.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/package-files/README-windows.txt
  DESTINATION ${VRK_PROGRAM_INSTALL_DIR} COMPONENT programs)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(vrk_package_system win64)
else()
  set(vrk_package_system win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vrkini)
set(CPACK_PACKAGE_VENDOR "vrk")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Selvarine profile maintenance for Windows")
set(CPACK_PACKAGE_FILE_NAME vrkini-${PROJECT_VERSION}-${vrk_package_system})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# The ZIP unpacks into one folder named like the file.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
