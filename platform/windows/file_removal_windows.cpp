// Windows side of file_removal.hpp: the runtime's remove(), which refuses
// directories, read-only files and files in use by itself.
#include "platform/file_removal.hpp"

#include <cstdio>

namespace vrk::platform {

bool removePlainFile(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    return std::remove(path) == 0;
}

}  // namespace vrk::platform
