// Windows side of file_status.hpp: GetFileAttributesA, which takes the path
// in the process's ANSI code page.
#include "platform/file_status.hpp"

#include <windows.h>

namespace vrk::platform {

bool isExistingDirectory(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    const DWORD savedError = GetLastError();
    const DWORD attributes = GetFileAttributesA(path);
    SetLastError(savedError);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace vrk::platform
