// Linux side of file_removal.hpp. Linux's remove() would delete directories
// and read-only files alike, so both are refused here first, as the
// Windows runtime's remove() refuses them.
#include "platform/file_removal.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace vrk::platform {

bool removePlainFile(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::exists(status) || fs::is_directory(status)) return false;
    const fs::perms writable =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (fs::is_regular_file(status) && (status.permissions() & writable) == fs::perms::none)
        return false;
    return std::remove(path) == 0;
}

}  // namespace vrk::platform
