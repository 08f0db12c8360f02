// Linux side of file_status.hpp: stat(), which follows links.
#include "platform/file_status.hpp"

#include <sys/stat.h>

#include <cerrno>

namespace vrk::platform {

bool isExistingDirectory(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    const int savedErrno = errno;
    struct stat status;
    const bool directory = ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
    errno = savedErrno;
    return directory;
}

}  // namespace vrk::platform
