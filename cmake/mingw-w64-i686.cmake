# Cross build for 32-bit Windows with Debian's mingw-w64 (the -posix variant,
# which has std::thread and std::mutex). Programs link statically, so the
# .exe files need no compiler DLLs, and run under Wine's 32-bit loader.
set(VRK_MINGW_TRIPLE i686-w64-mingw32)
set(VRK_WINE_LOADER_NAME wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
